#include "installer/patch_flow.h"

#include "installer/full_path.h"
#include "installer/patch_application.h"
#include "installer/product_discovery.h"
#include "launcher/keep_last_error.h"

namespace installer {
namespace {

// With nobody to click them, the installer's own dialogs would hang a quiet run.
constexpr int kInstallUILevelNone = 2;

// A verbose installer log, as msiexec's "/l*v" writes it: FATALEXIT, ERROR, WARNING, USER,
// INFO, RESOLVESOURCE, OUTOFDISKSPACE, ACTIONSTART, ACTIONDATA, PROPERTYDUMP, COMMONDATA and
// VERBOSE.
constexpr std::uint32_t kVerboseLogMode = 0x1FDF;
// INSTALLLOGATTRIBUTES_APPEND | INSTALLLOGATTRIBUTES_FLUSHEACHLINE: earlier runs stay, and
// the log is complete up to the last line even if the run is cut short.
constexpr std::uint32_t kLogAppendAndFlush = 0x3;

// The installer's own log goes beside the launcher's, as "<log path>.msi.log". It is asked
// for only when the launcher's log is open and the launcher could open that file itself: an
// installer that cannot write its log may refuse the install (1622), and a log must never
// change the run.
void EnableInstallerLog(launcher::Context& context) {
  if (!context.state.outcomeLog.IsOpen()) return;
  platform::Platform& p = context.platform;
  launcher::KeepLastError keep(p.process);
  std::u16string path;
  bool writable = false;
  if (FullPath(p.files, p.process, context.state.launchOptions.logPath + u".msi.log", path).ok()) {
    platform::ScopedFile probe(p.files, p.files.OpenForAppending(path));
    writable = static_cast<bool>(probe);
  }
  if (writable) p.installer.EnableLog(kVerboseLogMode, path, kLogAppendAndFlush);
}

}  // namespace

bool RunPatchFlow(launcher::Context& context) {
  if (context.state.launchOptions.quiet) context.platform.installer.SetInternalUI(kInstallUILevelNone);
  EnableInstallerLog(context);
  std::u16string packagePath;
  platform::ScopedFile packageLock(context.platform.files, 0);
  if (!DiscoverInstalledProducts(context, packagePath, packageLock)) return false;
  return ApplyPatchToInstalledProducts(context, packagePath, packageLock);
}

}  // namespace installer
