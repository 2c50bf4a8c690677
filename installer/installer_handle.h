#pragma once

#include "platform/installer.h"
#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace installer {

// Owns one Windows Installer handle and closes it exactly once.
using InstallerHandle = platform::ScopedHandle<platform::MsiHandle, platform::Installer,
                                               &platform::Installer::CloseHandle>;

}  // namespace installer
