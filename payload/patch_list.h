#pragma once

#include <string>

#include "run/run.h"

namespace payload {

// The default patch-list name for a patch's target list: "patchlist", then the 4 characters
// after the first '-' (or the first 4 when there is none) of what follows the first ':' (or
// of the whole list when there is none), then ".txt".
std::u16string PatchListNameFromTargets(const std::u16string& targets);

// "/p": appends one block per patch-information text (ids 206, 207, ... up to the first one
// missing) to the patch-list file `path`: "*****" CR LF, the text's bytes, CR LF. An empty
// `path` gets the default name, written back into it. Only whole blocks are ever left in the
// file: when a write fails, the file is cut back to the length it had before the run.
// Reports its failures (310, 300) and records them in the exit status. False only when the
// file cannot be opened.
bool WritePatchList(run::Run& run, std::u16string& path);

}  // namespace payload
