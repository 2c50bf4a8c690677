#pragma once

#include <string>

#include "platform/files.h"
#include "platform/status.h"
#include "run/run.h"

namespace payload {

// Writes the embedded patch package to `path`, or, when `path` is empty, to a fresh
// temporary file whose name it stores in `path` (and keeps there even when a later step
// fails). Done when the whole package was written; otherwise the failing step's error.
// Reports nothing.
platform::Status ExtractPayload(run::Run& run, std::u16string& path);

// Writes the embedded patch package to a fresh temporary file that only the launcher's own
// account, SYSTEM and the Administrators may open, its name into `path` (kept there even
// when a later step fails) and the identity of the file written into `identity`.
platform::Status ExtractToTempName(run::Run& run, std::u16string& path,
                                   platform::FileIdentity* identity = nullptr);

}  // namespace payload
