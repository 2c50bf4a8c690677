#include "launcher/list_products.h"

#include "installer/patch_targets.h"
#include "launcher/outcome_log.h"
#include "payload/extract_payload.h"

namespace launcher {
namespace {

// One OK button, no icon.
constexpr std::uint32_t kListStyle =
    platform::kMbOk | platform::kMbTopmost | platform::kMbSetForeground;

}  // namespace

void ListProducts(Context& context, run::Run& run) {
  platform::Platform& p = context.platform;
  std::u16string packagePath;
  std::u16string targets;
  const platform::Status extracted = payload::ExtractPayload(run, packagePath);
  if (!extracted.ok()) context.state.exitStatus.RecordFailure(extracted.error());
  // Read whatever the path holds even after a failed extraction; the box then stays empty.
  std::uint32_t error = 0;
  if (!installer::ReadPatchTargets(p.files, p.installer, packagePath, targets, &error)) {
    context.state.exitStatus.RecordFailure(error);
  }
  // The box has no message id; its line in the log has none either.
  LogOutcome(context, u"-", u"", targets);
  p.dialogs.MessageBox(targets, u"List of Products", kListStyle);
}

}  // namespace launcher
