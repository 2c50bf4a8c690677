#include "launcher/list_products.h"

#include "installer/patch_targets.h"
#include "launcher/report_message.h"
#include "payload/extract_payload.h"

namespace launcher {

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
  ReportPlainBox(context, u"List of Products", targets);
}

}  // namespace launcher
