#pragma once

#include <string>
#include <vector>

#include "installer/product_candidate.h"
#include "run/run.h"

namespace installer {

// The installer command line that applies the package at `packagePath`; with
// `suppressRestart` the installer never restarts the machine itself (REBOOT=ReallySuppress),
// and a restart it needs comes back as its result instead.
std::u16string BuildPatchCommandLine(const std::u16string& packagePath, bool suppressRestart);

// The second stage of the default run: for each installed product, in its own language,
// patches it with the package at `packagePath` when it stands at a candidate version and
// reports the outcome. Ends early at a candidate equal to the target version (306) and
// after a restart the installer has started.
void ApplyPatchToInstalledProducts(run::Run& run, const std::u16string& packagePath,
                                   bool suppressRestart, std::vector<ProductCandidate>& products);

}  // namespace installer
