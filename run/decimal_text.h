#pragma once

#include <cstdint>
#include <string>

namespace run {

// `value` in decimal digits, without leading zeros.
inline std::u16string DecimalText(std::uint64_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

}  // namespace run
