#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/types.h"

namespace platform {

// The program proper, which the platform's entry point calls with the real platform and the
// running module's handle; returns the process exit code. Declared here and defined by the
// launcher, so that the platform layer never includes what sits above it.
std::uint32_t RunProgram(Platform& platform, ModuleHandle moduleInstance);

}  // namespace platform
