#pragma once

#include "fakes/fake_platform.h"
#include "launcher/process_state.h"
#include "launcher/report_message.h"
#include "run/run.h"

namespace fakes {

// A fake machine with the launcher's process-wide state, and the run that the launcher hands
// to payload/ and installer/: a fixture derives from it to get all of them by name.
struct FakeMachine {
  FakePlatform fake;
  launcher::ProcessState state;
  launcher::Context context{fake.platform, state};
  launcher::LauncherReporter reporter{context};
  run::Run run{fake.platform, state.moduleInstance, state.tempNames, reporter};
};

}  // namespace fakes
