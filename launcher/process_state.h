#pragma once

#include <string>
#include <vector>

#include "installer/product_candidate.h"
#include "launcher/exit_status.h"
#include "launcher/launch_options.h"
#include "payload/temp_name.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace launcher {

// Everything that lives for the whole process, in one place. The entry point owns the one
// instance; operations reach it through their Context.
struct ProcessState {
  platform::ModuleHandle moduleInstance = 0;
  LaunchOptions launchOptions;
  std::u16string currentProductName;
  std::vector<installer::ProductCandidate> installedProducts;
  payload::TempNameState tempNames;
  ExitStatus exitStatus;
};

// What every operation works with: the platform and the process-wide state.
struct Context {
  platform::Platform& platform;
  ProcessState& state;
};

}  // namespace launcher
