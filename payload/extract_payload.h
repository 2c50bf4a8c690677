#pragma once

#include <string>

#include "launcher/process_state.h"

namespace payload {

// Writes the embedded patch package to `path`, or, when `path` is empty, to a fresh
// temporary file whose name it stores in `path` (and keeps there even when a later step
// fails). True when the whole package was written. Reports nothing.
bool ExtractPayload(launcher::Context& context, std::u16string& path);

}  // namespace payload
