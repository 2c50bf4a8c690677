#pragma once

#include <string>

// The logic keeps text as UTF-16 in std::u16string; on Windows wchar_t is the same 16-bit unit,
// so the two meet here and nowhere else.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

namespace platform::win32 {

inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline wchar_t* Wide(char16_t* buffer) { return reinterpret_cast<wchar_t*>(buffer); }
inline std::u16string FromWide(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

}  // namespace platform::win32
