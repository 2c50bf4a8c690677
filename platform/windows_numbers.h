#pragma once

#include <cstdint>

// The numbers the logic needs from Windows, each under its SDK name, so the logic builds
// without <windows.h>. platform/win32/windows_numbers_check.cc holds every one against the
// SDK's own macro.
namespace platform {

// Error codes.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
// Another program holds the file in a way that keeps this call out.
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorFilenameExcedRange = 206;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorFileInvalid = 1006;
// ReplaceFileW's own failures, each leaving the two files in a different state.
inline constexpr std::uint32_t kErrorUnableToRemoveReplaced = 1175;
inline constexpr std::uint32_t kErrorUnableToMoveReplacement = 1176;
inline constexpr std::uint32_t kErrorUnableToMoveReplacement2 = 1177;
inline constexpr std::uint32_t kErrorInstallFailure = 1603;
inline constexpr std::uint32_t kErrorSuccessRebootInitiated = 1641;
inline constexpr std::uint32_t kErrorPatchTargetNotFound = 1642;
inline constexpr std::uint32_t kErrorSuccessRebootRequired = 3010;
inline constexpr std::uint32_t kErrorSuccessRestartRequired = 3011;

// Paths and file attributes.
inline constexpr std::uint32_t kMaxPath = 260;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

// Locales: MAKELCID(LANG_USER_DEFAULT, SORT_DEFAULT).
inline constexpr std::uint32_t kLocaleUserDefault = 0x400;

// Registry access rights.
inline constexpr std::uint32_t kSynchronize = 0x00100000;
inline constexpr std::uint32_t kStandardRightsWrite = 0x00020000;  // READ_CONTROL
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyWrite =
    (kStandardRightsWrite | kKeySetValue | kKeyCreateSubKey) & ~kSynchronize;

// Message box styles.
inline constexpr std::uint32_t kMbOk = 0x00000000;
inline constexpr std::uint32_t kMbIconError = 0x00000010;        // MB_ICONHAND
inline constexpr std::uint32_t kMbIconInformation = 0x00000040;  // MB_ICONASTERISK
inline constexpr std::uint32_t kMbSetForeground = 0x00010000;
inline constexpr std::uint32_t kMbTopmost = 0x00040000;

// Windows Installer (msi.h, msidefs.h).
inline constexpr int kInstallUiLevelNoChange = 0;
inline constexpr int kInstallUiLevelNone = 2;
inline constexpr int kInstallUiLevelUacOnly = 0x200;
inline constexpr int kInstallLevelDefault = 0;
inline constexpr int kInstallStateAdvertised = 1;
inline constexpr int kInstallStateAbsent = 2;  // among others, installed for another user
inline constexpr int kInstallStateDefault = 5;
inline constexpr std::uint32_t kPidTemplate = 7;  // the products a patch targets
// INSTALLLOGMODE_x is the bit 1 << (INSTALLMESSAGE_x >> 24); PROPERTYDUMP is the bit of
// INSTALLMESSAGE_PROGRESS, VERBOSE that of INSTALLMESSAGE_INITIALIZE.
inline constexpr std::uint32_t kInstallLogModeFatalExit = 1u << 0;
inline constexpr std::uint32_t kInstallLogModeError = 1u << 1;
inline constexpr std::uint32_t kInstallLogModeWarning = 1u << 2;
inline constexpr std::uint32_t kInstallLogModeUser = 1u << 3;
inline constexpr std::uint32_t kInstallLogModeInfo = 1u << 4;
inline constexpr std::uint32_t kInstallLogModeResolveSource = 1u << 6;
inline constexpr std::uint32_t kInstallLogModeOutOfDiskSpace = 1u << 7;
inline constexpr std::uint32_t kInstallLogModeActionStart = 1u << 8;
inline constexpr std::uint32_t kInstallLogModeActionData = 1u << 9;
inline constexpr std::uint32_t kInstallLogModePropertyDump = 1u << 10;
inline constexpr std::uint32_t kInstallLogModeCommonData = 1u << 11;
inline constexpr std::uint32_t kInstallLogModeVerbose = 1u << 12;
inline constexpr std::uint32_t kInstallLogAttributesAppend = 1u << 0;
inline constexpr std::uint32_t kInstallLogAttributesFlushEachLine = 1u << 1;

}  // namespace platform
