#include "launcher/log_line.h"

#include <iterator>

#include "run/decimal_text.h"
#include "launcher/utf8_text.h"

namespace launcher {
namespace {

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
  // Two digits a field, the year two fields, each followed by its separator: one string
  // built in place, as a string per field cost more code than the rest of the log.
  const unsigned fields[] = {time.year / 100u, time.year % 100u, time.month, time.day,
                             time.hour,        time.minute,      time.second};
  constexpr char16_t kAfter[] = u"\0--T::Z";
  std::u16string text(20, u'0');
  std::size_t at = 0;
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    text[at++] = static_cast<char16_t>(u'0' + fields[i] / 10 % 10);
    text[at++] = static_cast<char16_t>(u'0' + fields[i] % 10);
    if (kAfter[i] != u'\0') text[at++] = kAfter[i];
  }
  return text;
}

std::string OutcomeLine(const platform::UtcTime& time, std::u16string_view id,
                        std::u16string_view productCode, std::u16string_view text) {
  std::u16string fields = IsoTime(time);
  fields.append(u"\t").append(Escaped(id)).append(u"\t");
  fields.append(productCode.empty() ? u"-" : Escaped(productCode)).append(u"\t");
  return Line(fields.append(Escaped(text)));
}

std::string ExitLine(const platform::UtcTime& time, std::uint32_t exitCode) {
  return Line(IsoTime(time).append(u"\texit\t").append(run::DecimalText(exitCode)));
}

}  // namespace launcher
