#pragma once

#include <string>
#include <vector>

#include "launcher/launch_options.h"
#include "platform/process.h"

namespace launcher {

// Applies the switches of an argument vector (index 0 is the program and never a switch)
// to `options`. Paths are moved out of `arguments`, so storing one never allocates and
// cannot fail for want of memory.
void ApplyArguments(std::vector<std::u16string> arguments, LaunchOptions& options);

// Reads the process's own command line into `options`. Always true: an empty command line
// is one without arguments.
bool ParseCommandLine(platform::Process& process, LaunchOptions& options);

}  // namespace launcher
