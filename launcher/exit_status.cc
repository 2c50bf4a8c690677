#include "launcher/exit_status.h"

#include "platform/types.h"

namespace launcher {
namespace {

int Rank(std::uint32_t code) {
  switch (code) {
    case platform::kErrorSuccess: return 0;
    case platform::kErrorSuccessRebootRequired: return 1;
    case platform::kErrorSuccessRebootInitiated: return 2;
    case platform::kErrorPatchTargetNotFound: return 3;
    default: return 4;
  }
}

}  // namespace

void ExitStatus::Record(std::uint32_t exitCode) {
  // Strictly greater, so that the first of several failures is the one that stays.
  if (Rank(exitCode) > Rank(code_)) code_ = exitCode;
}

std::uint32_t ExitStatus::FailureCode(std::uint32_t errorCode) {
  return Rank(errorCode) == 4 ? errorCode : platform::kErrorInstallFailure;
}

}  // namespace launcher
