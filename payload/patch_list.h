#pragma once

#include <string>

#include "launcher/process_state.h"

namespace payload {

// "/p": appends the patch-information texts to the patch-list file `path`.
bool WritePatchList(launcher::Context& context, std::u16string& path);

}  // namespace payload
