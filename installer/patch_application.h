#pragma once

#include <string>

#include "launcher/process_state.h"
#include "platform/files.h"

namespace installer {

// The installer command line that applies the package at `packagePath`.
std::u16string BuildPatchCommandLine(const std::u16string& packagePath);

// The second stage of the default run: for each installed product, in its own language,
// patches it when it stands at a candidate version and reports the outcome. False when a
// candidate equal to the target version stopped the run.
// `packageLock` is released just before the package is deleted.
bool ApplyPatchToInstalledProducts(launcher::Context& context, const std::u16string& packagePath,
                                   platform::ScopedFile& packageLock);

}  // namespace installer
