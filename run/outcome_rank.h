#pragma once

#include <cstdint>

#include "platform/windows_numbers.h"

namespace run {

// How serious an outcome is, by its code; the run exits with the code of its most serious one.
enum class OutcomeRank { kDone, kRestartRequired, kRestartStarted, kNotApplicable, kFailure };

// The one place that says what a code means: 0 done; 3010 and 3011 (a restart is required)
// done once the machine restarts; 1641 the installer has started a restart; 1642 nothing to
// patch here; anything else a failure.
constexpr OutcomeRank RankOf(std::uint32_t code) {
  switch (code) {
    case platform::kErrorSuccess: return OutcomeRank::kDone;
    case platform::kErrorSuccessRebootRequired:
    case platform::kErrorSuccessRestartRequired: return OutcomeRank::kRestartRequired;
    case platform::kErrorSuccessRebootInitiated: return OutcomeRank::kRestartStarted;
    case platform::kErrorPatchTargetNotFound: return OutcomeRank::kNotApplicable;
    default: return OutcomeRank::kFailure;
  }
}

}  // namespace run
