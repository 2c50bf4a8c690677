#pragma once

#include <cstdint>

namespace installer {

// What a result of MsiConfigureProductExW means to the launcher.
struct PatchOutcome {
  bool applied;            // the patch is on the product: message 301 and the cleanup of success
  std::uint32_t exitCode;  // what the outcome adds to the process exit code
  bool stopsRun;           // the installer has started a restart: no further product is touched
};

// Reads a result by its rank (run/outcome_rank.h): a restart that is required (3010, 3011)
// or already started (1641) still means the patch was applied. 3011 exits as 3010, the code
// deployment tools know for it.
PatchOutcome MapInstallerResult(std::uint32_t result);

}  // namespace installer
