#pragma once

#include <string>

namespace installer {

// One target product as the default run sees it.
struct ProductCandidate {
  std::u16string productCode;
  std::u16string targetVersion;
  std::u16string productName;
  std::u16string language;
  std::u16string commandLine;
  std::u16string candidateVersions;
  std::u16string installedVersion;

  friend bool operator==(const ProductCandidate&, const ProductCandidate&) = default;
};

}  // namespace installer
