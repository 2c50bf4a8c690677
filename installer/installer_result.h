#pragma once

#include <cstdint>

namespace installer {

// What a result of MsiConfigureProductExW means to the launcher.
struct PatchOutcome {
  bool applied;           // the patch is on the product (messages and cleanup of success)
  std::uint32_t exitCode; // what the outcome adds to the process exit code
};

// The one place where the installer's result codes are interpreted: a restart that is
// required (3010) or already initiated (1641) still means the patch was applied.
PatchOutcome MapInstallerResult(std::uint32_t result);

}  // namespace installer
