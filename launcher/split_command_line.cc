#include "launcher/split_command_line.h"

#include <cstddef>

namespace launcher {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Reads one argument from `at` on. Quoting is counted as Windows counts it: an unescaped
// quote opens a quoted part or closes it; within one run of quotes every third quote
// counts as a literal one, and a run that leaves two pending leaves the part closed (so
// `"a""b"` is a"b, and `""""` is one literal quote after an empty quoted part).
std::u16string ReadArgument(std::u16string_view line, std::size_t& at) {
  std::u16string argument;
  int quotes = 0;  // 1: inside a quoted part
  while (at < line.size() && (quotes != 0 || !IsBlank(line[at]))) {
    const char16_t c = line[at];
    if (c == u'\\') {
      std::size_t slashes = 0;
      while (at + slashes < line.size() && line[at + slashes] == u'\\') ++slashes;
      at += slashes;
      if (at < line.size() && line[at] == u'"') {
        argument.append(slashes / 2, u'\\');
        if (slashes % 2 == 1) {
          argument += u'"';  // an escaped quote is text and starts no run
          ++at;
        }
      } else {
        argument.append(slashes, u'\\');  // backslashes before anything else are text
      }
    } else if (c == u'"') {
      ++quotes;
      for (++at; at < line.size() && line[at] == u'"'; ++at) {
        if (++quotes == 3) {
          argument += u'"';
          quotes = 0;
        }
      }
      if (quotes == 2) quotes = 0;
    } else {
      argument += c;
      ++at;
    }
  }
  return argument;
}

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
  std::vector<std::u16string> arguments;
  std::size_t at = 0;
  // The program's own path knows no escapes: a quoted one ends at the next quote.
  if (!line.empty() && line[0] == u'"') {
    const std::size_t close = line.find(u'"', 1);
    const std::size_t end = close == std::u16string_view::npos ? line.size() : close;
    arguments.emplace_back(line.substr(1, end - 1));
    at = close == std::u16string_view::npos ? line.size() : close + 1;
  } else {
    while (at < line.size() && !IsBlank(line[at])) ++at;
    arguments.emplace_back(line.substr(0, at));
  }
  for (;;) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at == line.size()) break;
    arguments.push_back(ReadArgument(line, at));
  }
  return arguments;
}

}  // namespace launcher
