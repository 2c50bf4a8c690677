#include "launcher/launcher.h"

#include "installer/patch_flow.h"
#include "launcher/command_line.h"
#include "launcher/list_products.h"
#include "launcher/outcome_log.h"
#include "payload/extract_payload.h"
#include "payload/patch_list.h"

namespace launcher {
namespace {

// Each mode runs whatever became of the one before it, always in this order.
void RunAdministrativeModes(Context& context) {
  LaunchOptions& options = context.state.launchOptions;
  if (options.extractRequested) {
    const platform::Status extracted = payload::ExtractPayload(context, options.extractPath);
    if (!extracted.ok()) context.state.exitStatus.RecordFailure(extracted.error());
  }
  if (options.patchListRequested) {
    payload::WritePatchList(context, options.patchListPath);
  }
  if (options.listProductsRequested) {
    ListProducts(context);
  }
}

}  // namespace

std::uint32_t RunLauncher(Context& context) {
  ParseCommandLine(context.platform.process, context.state.launchOptions);
  OpenOutcomeLog(context);
  if (context.state.launchOptions.runPatchFlow) {
    installer::RunPatchFlow(context);
  } else {
    RunAdministrativeModes(context);
  }
  context.state.installedProducts.clear();
  const std::uint32_t exitCode = context.state.exitStatus.Code();
  LogExit(context, exitCode);
  return exitCode;
}

}  // namespace launcher
