#include "launcher/launcher.h"

#include "installer/patch_flow.h"
#include "launcher/command_line.h"
#include "launcher/list_products.h"
#include "launcher/outcome_log.h"
#include "launcher/report_message.h"
#include "launcher/show_help.h"
#include "payload/extract_payload.h"
#include "payload/patch_list.h"
#include "platform/entry.h"

namespace launcher {
namespace {

// The modes asked for run in this fixed order, each whether or not the one before it
// succeeded.
void RunAdministrativeModes(Context& context, run::Run& run) {
  LaunchOptions& options = context.state.launchOptions;
  if (options.extractRequested) {
    const platform::Status extracted = payload::ExtractPayload(run, options.extractPath);
    if (!extracted.ok()) context.state.exitStatus.RecordFailure(extracted.error());
  }
  if (options.patchListRequested) {
    payload::WritePatchList(run, options.patchListPath);
  }
  if (options.listProductsRequested) {
    ListProducts(context, run);
  }
}

installer::PatchFlowSettings PatchFlowSettingsOf(const ProcessState& state) {
  installer::PatchFlowSettings settings;
  settings.quiet = state.launchOptions.quiet;
  settings.unattended = state.unattended;
  // Deployment tools restart on their own schedule, and expect 3010 or 1641 back for it.
  settings.suppressRestart = state.launchOptions.quiet || state.launchOptions.noRestart;
  // The installer's own log goes beside the launcher's, as "<log path>.msi.log", and only
  // when the launcher's log could be opened.
  if (state.outcomeLog.IsOpen()) settings.installerLogPath = state.launchOptions.logPath + u".msi.log";
  return settings;
}

// Whether anything of this run can reach a person: a box, the installer's dialogs or a log
// line. "/e" alone shows nothing, so it never asks about the window station: loading
// user32.dll for that would cost it more than its one rename.
bool RunCanShowOrLog(const ProcessState& state) {
  const LaunchOptions& options = state.launchOptions;
  return options.helpRequested || options.runPatchFlow || options.patchListRequested ||
         options.listProductsRequested || state.outcomeLog.IsOpen();
}

// Why no box of this process would be seen, for the log; empty when one would. Since Windows
// Vista no user sees session 0, where services run, whatever its window station says; the
// session is asked first, as it needs no user32.dll.
std::u16string_view WhyNobodySeesABox(platform::Platform& p) {
  if (p.process.GetSessionId() == 0u) {
    return u"The run is in session 0, which nobody sees: no boxes, no installer dialogs, no "
           u"restart by the installer itself.";
  }
  if (!p.dialogs.WindowStationVisible()) {
    return u"The window station is not visible: no boxes, no installer dialogs, no restart by "
           u"the installer itself.";
  }
  return {};
}

}  // namespace

std::uint32_t RunLauncher(Context& context) {
  // Before anything is written. An administrator's unelevated double-click runs this legacy
  // program with UAC virtualization on: a write into a protected folder would then land
  // unseen in the user's VirtualStore instead of failing. Where there is no virtualization
  // to turn off, the run goes on as it is.
  (void)context.platform.process.TurnOffVirtualization();
  ParseCommandLine(context.platform.process, context.state.launchOptions);
  OpenOutcomeLog(context);
  if (RunCanShowOrLog(context.state)) {
    if (const std::u16string_view unseen = WhyNobodySeesABox(context.platform); !unseen.empty()) {
      // Nobody can see a box there, let alone answer one: the run goes as a quiet one.
      context.state.unattended = true;
      context.state.launchOptions.quiet = true;
      LogOutcome(context, u"-", u"", unseen);
    }
  }
  LauncherReporter reporter(context);
  run::Run run{context.platform, context.state.moduleInstance, context.state.tempNames, reporter};
  if (context.state.launchOptions.helpRequested) {
    ShowHelp(context);
  } else if (context.state.launchOptions.runPatchFlow) {
    installer::RunPatchFlow(run, PatchFlowSettingsOf(context.state));
  } else {
    RunAdministrativeModes(context, run);
  }
  const std::uint32_t exitCode = context.state.exitStatus.Code();
  LogExit(context, exitCode);
  return exitCode;
}

}  // namespace launcher

std::uint32_t platform::RunProgram(Platform& platform, ModuleHandle moduleInstance) {
  // The one instance of the process-wide state, alive for the whole run.
  launcher::ProcessState state;
  state.moduleInstance = moduleInstance;
  launcher::Context context{platform, state};
  return launcher::RunLauncher(context);
}
