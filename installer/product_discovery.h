#pragma once

#include <optional>
#include <string>
#include <vector>

#include "installer/product_candidate.h"
#include "platform/installer.h"
#include "run/run.h"

namespace installer {

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

// The first stage of the default run, on the package at `packagePath`: loads the version
// strings and returns the installed targets in list order. Nothing when it has reported why
// the run ends.
std::optional<std::vector<ProductCandidate>> DiscoverInstalledProducts(
    run::Run& run, const std::u16string& packagePath);

}  // namespace installer
