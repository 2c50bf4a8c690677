#pragma once

#include "launcher/process_state.h"

namespace launcher {

// "/?": one box listing the switches, one line each. Runs nothing else.
void ShowHelp(Context& context);

}  // namespace launcher
