#include "launcher/exit_status.h"

#include "platform/types.h"

namespace launcher {

using run::OutcomeRank;

void ExitStatus::Record(std::uint32_t exitCode) { Keep(exitCode, run::RankOf(exitCode)); }

void ExitStatus::RecordRefusal(std::uint32_t code) {
  Keep(code == platform::kErrorSuccess ? platform::kErrorInstallFailure : code, OutcomeRank::kFailure);
}

void ExitStatus::Keep(std::uint32_t code, OutcomeRank rank) {
  // Strictly greater, so that the first of several failures is the one that stays.
  if (rank > rank_) {
    code_ = code;
    rank_ = rank;
  }
}

std::uint32_t ExitStatus::FailureCode(std::uint32_t errorCode) {
  return run::RankOf(errorCode) == OutcomeRank::kFailure ? errorCode : platform::kErrorInstallFailure;
}

}  // namespace launcher
