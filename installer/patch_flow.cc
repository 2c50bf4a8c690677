#include "installer/patch_flow.h"

namespace installer {

// Not built yet: the default run does nothing and reports nothing.
bool RunPatchFlow(launcher::Context& /*context*/) { return false; }

}  // namespace installer
