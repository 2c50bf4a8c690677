#pragma once

#include "launcher/process_state.h"
#include "run/run.h"

namespace launcher {

// "/i": shows the patch's target list in a box of its own, also in quiet mode. The
// temporary copy of the package it reads stays in the temporary directory.
void ListProducts(Context& context, run::Run& run);

}  // namespace launcher
