#pragma once

#include "launcher/process_state.h"

namespace installer {

// The default run: finds the installed target products and patches each one.
bool RunPatchFlow(launcher::Context& context);

}  // namespace installer
