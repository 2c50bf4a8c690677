#pragma once

#include <string>

#include "launcher/exit_status.h"
#include "launcher/launch_options.h"
#include "launcher/outcome_log.h"
#include "platform/platform.h"
#include "platform/types.h"
#include "run/run.h"

namespace launcher {

// Everything that lives for the whole process, in one place. The entry point owns the one
// instance; operations reach it through their Context.
struct ProcessState {
  platform::ModuleHandle moduleInstance = 0;
  LaunchOptions launchOptions;
  // Nobody can see the run (session 0, or a window station that is not visible): no box at
  // all, not even those that "/q" leaves, and no elevation prompt of the installer's.
  bool unattended = false;
  std::u16string currentProductName;
  // The code of the product being processed, for the log; empty outside a product's turn.
  std::u16string currentProductCode;
  run::TempNameState tempNames;
  ExitStatus exitStatus;
  OutcomeLog outcomeLog;
};

// What every operation works with: the platform and the process-wide state.
struct Context {
  platform::Platform& platform;
  ProcessState& state;
};

}  // namespace launcher
