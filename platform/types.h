#pragma once

#include <cstdint>

namespace platform {

// Opaque values handed out by the platform; the logic never looks inside them.
using ModuleHandle = std::uintptr_t;    // the running executable (HINSTANCE)
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
inline constexpr std::uint32_t kErrorInstallFailure = 1603;
inline constexpr std::uint32_t kErrorSuccessRebootInitiated = 1641;
inline constexpr std::uint32_t kErrorPatchTargetNotFound = 1642;
inline constexpr std::uint32_t kErrorSuccessRebootRequired = 3010;

inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

}  // namespace platform
