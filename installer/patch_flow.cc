#include "installer/patch_flow.h"

#include "installer/patch_application.h"
#include "installer/product_discovery.h"

namespace installer {
namespace {

// With nobody to click them, the installer's own dialogs would hang a quiet run.
constexpr int kInstallUILevelNone = 2;

}  // namespace

bool RunPatchFlow(launcher::Context& context) {
  if (context.state.launchOptions.quiet) context.platform.installer.SetInternalUI(kInstallUILevelNone);
  std::u16string packagePath;
  platform::ScopedFile packageLock(context.platform.files, 0);
  if (!DiscoverInstalledProducts(context, packagePath, packageLock)) return false;
  return ApplyPatchToInstalledProducts(context, packagePath, packageLock);
}

}  // namespace installer
