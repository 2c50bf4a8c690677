#pragma once

#include <cstdint>

namespace platform {

// Opaque values handed out by the platform; the logic never looks inside them.
using ModuleHandle = std::uintptr_t;    // the running executable (HINSTANCE)
using ResourceHandle = std::uintptr_t;  // a found resource (HRSRC), 0 when none
using ResourceData = std::uintptr_t;    // a loaded resource (HGLOBAL), 0 when none
using FileHandle = std::uintptr_t;      // an open file, 0 when none
using RegistryKey = std::uintptr_t;     // an open registry key, 0 when none
using MsiHandle = std::uint32_t;        // a Windows Installer handle, 0 when none

// Windows error codes the logic has to recognise.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorMoreData = 234;
// ReplaceFileW's own failures, each leaving the two files in a different state.
inline constexpr std::uint32_t kErrorUnableToRemoveReplaced = 1175;
inline constexpr std::uint32_t kErrorUnableToMoveReplacement = 1176;
inline constexpr std::uint32_t kErrorUnableToMoveReplacement2 = 1177;
inline constexpr std::uint32_t kErrorInstallFailure = 1603;
inline constexpr std::uint32_t kErrorSuccessRebootInitiated = 1641;
inline constexpr std::uint32_t kErrorPatchTargetNotFound = 1642;
inline constexpr std::uint32_t kErrorSuccessRebootRequired = 3010;

inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;

}  // namespace platform
