#include "launcher/list_products.h"

#include "installer/patch_targets.h"
#include "launcher/report_message.h"
#include "payload/extracted_package.h"

namespace launcher {

void ListProducts(Context& context, run::Run& run) {
  platform::Platform& p = context.platform;
  std::u16string targets;
  // The list is read from a temporary copy of the package, removed again with `package`.
  payload::ExtractedPackage package(p.files);
  if (const platform::Status extracted = package.Extract(run); !extracted.ok()) {
    context.state.exitStatus.RecordFailure(extracted.error());
  } else if (std::uint32_t error = 0;
             !installer::ReadPatchTargets(p.files, p.installer, package.path(), targets, &error)) {
    context.state.exitStatus.RecordFailure(error);
  }
  // The box comes also when the list could not be read, then empty.
  ReportPlainBox(context, u"List of Products", targets);
}

}  // namespace launcher
