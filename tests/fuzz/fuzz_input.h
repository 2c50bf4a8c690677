#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Fuzz bytes as the UTF-16 text the launcher gets from Windows: pairs of bytes, little-endian.
inline std::u16string Utf16FromBytes(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return text;
}

// Splits at U+0000, as an argument vector.
inline std::vector<std::u16string> SplitAtNull(const std::u16string& text) {
  std::vector<std::u16string> parts(1);
  for (char16_t c : text) {
    if (c == u'\0') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}
