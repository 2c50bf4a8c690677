#pragma once

#include <string>

#include "launcher/process_state.h"
#include "platform/files.h"

namespace installer {

// State 1 (advertised) or 5 (installed).
bool IsProductInstalled(platform::Installer& msi, const std::u16string& productCode);
std::u16string ReadInstalledVersion(platform::Installer& msi, const std::u16string& productCode);
bool ReadProductNameAndLanguage(platform::Installer& msi, const std::u16string& productCode,
                                std::u16string& productName, std::u16string& language);

// Calls `visit` with each code of a ';'-separated target list, in order, verbatim, up to the
// first empty segment.
template <typename Visit>
void ForEachTargetCode(const std::u16string& targets, Visit visit) {
  // Walks the list once; a list ending without ';' still yields its last code.
  std::size_t start = 0;
  while (start < targets.size()) {
    std::size_t end = targets.find(u';', start);
    if (end == std::u16string::npos) end = targets.size();
    if (end == start) return;
    visit(targets.substr(start, end - start));
    start = end + 1;
  }
}

// The first stage of the default run: extracts the package to a temporary file (its full
// path into `packagePath`), loads the version strings, and fills InstalledProducts with the
// installed targets in list order. False when it has reported why the run ends.
// `packageLock` receives a handle that keeps the package from being changed, replaced or
// deleted while the rest of the run relies on it.
bool DiscoverInstalledProducts(launcher::Context& context, std::u16string& packagePath,
                               platform::ScopedFile& packageLock);

}  // namespace installer
