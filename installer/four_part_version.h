#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_versions.h"

namespace installer {

// A version of four 16-bit parts, compared for equality only.
struct FourPartVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t build = 0;
  std::uint16_t revision = 0;

  friend bool operator==(const FourPartVersion&, const FourPartVersion&) = default;
};

// The number at the start of `text`: leading white space, an optional sign, decimal digits
// accumulated with 32-bit wrap-around; no digits give 0.
std::int32_t ConvertNumber(std::u16string_view text);

// Reads "a.b.c.d" (commas count as dots). A part is taken only when a dot follows it, except
// the fourth, so "8.1" reads as 8.0.0.0; text that cannot be read gives zeros.
FourPartVersion ParseFourPartVersion(std::u16string text);

// The file version (not the product version) of the module at `path` as "a.b.c.d".
// On false `text` is left as it was.
bool ReadModuleVersion(platform::FileVersions& versions, const std::u16string& path,
                       std::u16string& text);

}  // namespace installer
