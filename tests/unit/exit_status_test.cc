#include <gtest/gtest.h>

#include <vector>

#include "installer/installer_result.h"
#include "launcher/exit_status.h"

namespace {

TEST(ExitStatus, MostSeriousOutcomeWins) {
  struct Case {
    std::vector<std::uint32_t> recorded;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {{}, 0},
      {{0, 0}, 0},
      {{3010}, 3010},
      {{3010, 1641, 3010}, 1641},
      {{1641, 0}, 1641},
      {{1642, 1641, 3010}, 1642},
      {{3010, 1603, 1642}, 1603},
      {{1612, 1603}, 1612},  // the first failure stays
      {{0, 5, 1642}, 5},
  };
  for (const Case& c : cases) {
    launcher::ExitStatus status;
    for (std::uint32_t code : c.recorded) status.Record(code);
    EXPECT_EQ(status.Code(), c.expected) << ::testing::PrintToString(c.recorded);
  }
}

// A refusal is a failure whatever its number: the first failure stays, 1642 or not.
TEST(ExitStatus, RefusalsRankAsFailures) {
  struct Case {
    std::vector<std::pair<bool, std::uint32_t>> recorded;  // refusal?, code
    std::uint32_t expected;
  };
  const Case cases[] = {
      {{{true, 1642}, {true, 1603}}, 1642},
      {{{true, 1642}, {false, 1603}}, 1642},
      {{{false, 1642}, {true, 1603}}, 1603},  // a product the patch is not for, then a refusal
      {{{false, 3010}, {true, 1642}, {false, 1641}}, 1642},
      {{{true, 0}}, 1603},
  };
  for (const Case& c : cases) {
    launcher::ExitStatus status;
    for (const auto& [refusal, code] : c.recorded) refusal ? status.RecordRefusal(code) : status.Record(code);
    EXPECT_EQ(status.Code(), c.expected) << c.expected;
  }
}

TEST(ExitStatus, FailureWithoutAnErrorCodeIs1603) {
  for (std::uint32_t noCode : {0u, 3010u, 1641u, 1642u}) {
    launcher::ExitStatus status;
    status.RecordFailure(noCode);
    EXPECT_EQ(status.Code(), 1603u) << noCode;
  }
  launcher::ExitStatus status;
  status.RecordFailure(2);
  EXPECT_EQ(status.Code(), 2u);
}

TEST(MapInstallerResult, RestartCodesAreSuccesses) {
  struct Case {
    std::uint32_t result;
    bool applied;
    std::uint32_t exitCode;
    bool stopsRun;
  };
  const Case cases[] = {{0, true, 0, false},          {3010, true, 3010, false},
                        {3011, true, 3010, false},    {1641, true, 1641, true},
                        {1603, false, 1603, false},   {1642, false, 1642, false},
                        {1605, false, 1605, false},   {87, false, 87, false},
                        {0x80070005u, false, 0x80070005u, false}, {1604, false, 1604, false}};
  for (const Case& c : cases) {
    const auto outcome = installer::MapInstallerResult(c.result);
    EXPECT_EQ(outcome.applied, c.applied) << c.result;
    EXPECT_EQ(outcome.exitCode, c.exitCode) << c.result;
    EXPECT_EQ(outcome.stopsRun, c.stopsRun) << c.result;
  }
}

}  // namespace
