#include "launcher/exit_status.h"

#include "platform/types.h"

namespace launcher {
namespace {

constexpr int kFailureRank = 4;

int Rank(std::uint32_t code) {
  switch (code) {
    case platform::kErrorSuccess: return 0;
    case platform::kErrorSuccessRebootRequired: return 1;
    case platform::kErrorSuccessRebootInitiated: return 2;
    case platform::kErrorPatchTargetNotFound: return 3;
    default: return kFailureRank;
  }
}

}  // namespace

void ExitStatus::Record(std::uint32_t exitCode) { Keep(exitCode, Rank(exitCode)); }

void ExitStatus::RecordRefusal(std::uint32_t code) {
  Keep(code == platform::kErrorSuccess ? platform::kErrorInstallFailure : code, kFailureRank);
}

void ExitStatus::Keep(std::uint32_t code, int rank) {
  // Strictly greater, so that the first of several failures is the one that stays.
  if (rank > rank_) {
    code_ = code;
    rank_ = rank;
  }
}

std::uint32_t ExitStatus::FailureCode(std::uint32_t errorCode) {
  return Rank(errorCode) == kFailureRank ? errorCode : platform::kErrorInstallFailure;
}

}  // namespace launcher
