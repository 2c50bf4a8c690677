#include "launcher/log_line.h"

#include "run/decimal_text.h"
#include "launcher/utf8_text.h"

namespace launcher {
namespace {

std::u16string TwoDigits(std::uint16_t value) {
  return {static_cast<char16_t>(u'0' + value / 10 % 10), static_cast<char16_t>(u'0' + value % 10)};
}

std::u16string Escaped(std::u16string_view field) {
  std::u16string out;
  out.reserve(field.size());
  for (const char16_t c : field) {
    if (c == u'\n') {
      out += u"\\n";
    } else if (c == u'\r') {
      out += u"\\r";
    } else if (c == u'\t') {
      out += u"\\t";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Line(const std::u16string& fields) { return Utf8Text(fields) + "\r\n"; }

}  // namespace

std::u16string IsoTime(const platform::UtcTime& time) {
  return TwoDigits(time.year / 100) + TwoDigits(time.year % 100) + u'-' + TwoDigits(time.month) +
         u'-' + TwoDigits(time.day) + u'T' + TwoDigits(time.hour) + u':' + TwoDigits(time.minute) +
         u':' + TwoDigits(time.second) + u'Z';
}

std::string OutcomeLine(const platform::UtcTime& time, std::u16string_view id,
                        std::u16string_view productCode, std::u16string_view text) {
  return Line(IsoTime(time) + u'\t' + Escaped(id) + u'\t' +
              (productCode.empty() ? u"-" : Escaped(productCode)) + u'\t' + Escaped(text));
}

std::string ExitLine(const platform::UtcTime& time, std::uint32_t exitCode) {
  return Line(IsoTime(time) + u"\texit\t" + run::DecimalText(exitCode));
}

}  // namespace launcher
