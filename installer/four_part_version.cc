#include "installer/four_part_version.h"

#include <algorithm>
#include <vector>

#include "run/decimal_text.h"

namespace installer {
namespace {

bool IsWhiteSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

}  // namespace

std::int32_t ConvertNumber(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsWhiteSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // Unsigned arithmetic: the wrap-around is defined, as the conversion relies on it.
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - u'0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

FourPartVersion ParseFourPartVersion(std::u16string text) {
  std::replace(text.begin(), text.end(), u',', u'.');
  std::uint16_t parts[4] = {0, 0, 0, 0};
  std::u16string_view rest = text;
  for (int part = 0; part < 3; ++part) {
    const std::size_t dot = rest.find(u'.');
    if (dot == std::u16string_view::npos) return {parts[0], parts[1], parts[2], parts[3]};
    parts[part] = static_cast<std::uint16_t>(ConvertNumber(rest.substr(0, dot)));
    rest.remove_prefix(dot + 1);
  }
  parts[3] = static_cast<std::uint16_t>(ConvertNumber(rest));
  return {parts[0], parts[1], parts[2], parts[3]};
}

bool ReadModuleVersion(platform::FileVersions& versions, const std::u16string& path,
                       std::u16string& text) {
  const std::uint32_t size = versions.GetFileVersionInfoSize(path);
  if (size == 0) return false;
  std::vector<std::byte> block(size);
  if (!versions.GetFileVersionInfo(path, size, block.data())) return false;
  platform::FixedFileVersion fixed;
  if (!versions.QueryFixedFileVersion(block.data(), &fixed)) return false;
  text = run::DecimalText(fixed.fileVersionMS >> 16) + u'.' + run::DecimalText(fixed.fileVersionMS & 0xFFFF) + u'.' +
         run::DecimalText(fixed.fileVersionLS >> 16) + u'.' + run::DecimalText(fixed.fileVersionLS & 0xFFFF);
  return true;
}

}  // namespace installer
