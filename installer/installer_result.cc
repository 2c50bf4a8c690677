#include "installer/installer_result.h"

#include "run/outcome_rank.h"

namespace installer {

PatchOutcome MapInstallerResult(std::uint32_t result) {
  // ERROR_INSTALL_SUSPEND (1604), which ForceReboot gives, ranks as a failure: the installation
  // stopped half-way and resumes only after the next restart, so the patch is not on yet.
  const run::OutcomeRank rank = run::RankOf(result);
  const bool applied = rank < run::OutcomeRank::kNotApplicable;
  const std::uint32_t exitCode =
      result == platform::kErrorSuccessRestartRequired ? platform::kErrorSuccessRebootRequired : result;
  return {applied, exitCode, rank == run::OutcomeRank::kRestartStarted};
}

}  // namespace installer
