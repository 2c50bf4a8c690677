#pragma once

#include <cstdint>

#include "launcher/process_state.h"

namespace launcher {

// The whole run: reads the command line, runs the default patch flow or the requested
// administrative modes, and returns the process exit code.
std::uint32_t RunLauncher(Context& context);

}  // namespace launcher
