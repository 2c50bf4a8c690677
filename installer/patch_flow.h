#pragma once

#include <optional>
#include <string>

#include "run/run.h"

namespace installer {

// How the launcher wants the default run done.
struct PatchFlowSettings {
  // No box of the installer's own: nobody is there to answer it.
  bool quiet = false;
  // Nobody sees the run at all (session 0, or a window station that is not visible): a
  // quiet run then goes without UAC's elevation prompt too.
  bool unattended = false;
  // The installer never restarts the machine itself; a restart it needs is reported as its
  // result (3010, 1641), for whoever started the run to act on.
  bool suppressRestart = false;
  // Where the installer writes its verbose log; none when nothing is logged.
  std::optional<std::u16string> installerLogPath;
};

// The default run: extracts the package, finds the installed target products and patches
// each one; whatever ends it early is reported.
void RunPatchFlow(run::Run& run, const PatchFlowSettings& settings);

}  // namespace installer
