#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/installer.h"
#include "platform/types.h"

namespace installer {

// Opens the summary information of the package at `packagePath` (made full against the
// current directory); 0 when it cannot be opened, with the reason in `error` when given.
// The caller owns the handle.
platform::MsiHandle OpenSummaryInformation(platform::Files& files, platform::Installer& msi,
                                           const std::u16string& packagePath,
                                           std::uint32_t* error = nullptr);

// Reads the ';'-separated product codes the patch targets, exactly as stored. `result` is
// written only on success. When given, `error` receives the installer's code of a failure.
bool ReadPatchTargets(platform::Files& files, platform::Installer& msi,
                      const std::u16string& packagePath, std::u16string& result,
                      std::uint32_t* error = nullptr);

}  // namespace installer
