#pragma once

#include <cstdint>

#include "platform/windows_numbers.h"

namespace platform {

// Opaque values handed out by the platform; the logic never looks inside them.
using ModuleHandle = std::uintptr_t;    // the running executable (HINSTANCE)
using FileHandle = std::uintptr_t;      // an open file, 0 when none
using RegistryKey = std::uintptr_t;     // an open registry key, 0 when none
using MsiHandle = std::uint32_t;        // a Windows Installer handle, 0 when none

}  // namespace platform
