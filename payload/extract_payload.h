#pragma once

#include <string>

#include "launcher/process_state.h"
#include "platform/status.h"

namespace payload {

// Writes the embedded patch package to `path`, or, when `path` is empty, to a fresh
// temporary file whose name it stores in `path` (and keeps there even when a later step
// fails). Done when the whole package was written; otherwise the failing step's error.
// Reports nothing.
platform::Status ExtractPayload(launcher::Context& context, std::u16string& path);

}  // namespace payload
