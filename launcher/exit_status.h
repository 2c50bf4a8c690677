#pragma once

#include <cstdint>

#include "run/outcome_rank.h"

namespace launcher {

// The process exit code: that of the most serious outcome of the run.
// Precedence (run::RankOf): failure > 1642 (not applicable) > 1641 > 3010 > 0; among failures
// the first wins.
class ExitStatus {
 public:
  // Records one outcome by its exit code (0, 3010, 1641, 1642, or a failure's code).
  void Record(std::uint32_t exitCode);
  // A failure whose step left no Windows error code is reported as 1603.
  void RecordFailure(std::uint32_t errorCode) { Record(FailureCode(errorCode)); }
  // The installer refused a patch with `code`: a failure whatever the number, 1642 included,
  // so that it ranks with the run's other failures in the order they came.
  void RecordRefusal(std::uint32_t code);
  // The exit code of a failure with `errorCode`: itself, or 1603 when it is no failure code.
  static std::uint32_t FailureCode(std::uint32_t errorCode);
  std::uint32_t Code() const { return code_; }

 private:
  void Keep(std::uint32_t code, run::OutcomeRank rank);

  std::uint32_t code_ = 0;
  run::OutcomeRank rank_ = run::OutcomeRank::kDone;
};

}  // namespace launcher
