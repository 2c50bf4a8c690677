#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/split_command_line.h"

namespace {

struct Case {
  std::u16string line;
  std::vector<std::u16string> expected;
};

// The rules CommandLineToArgvW follows; the end-to-end oracle holds the same splitter
// against the system's own function over many thousand lines.
TEST(SplitCommandLine, FollowsTheSystemsRules) {
  const Case cases[] = {
      {u"", {u""}},
      {u"p", {u"p"}},
      {u"p  a\tb ", {u"p", u"a", u"b"}},
      {u" p a", {u"", u"p", u"a"}},                      // a leading blank: empty program
      {u"\"C:\\a b\\p.exe\" /q", {u"C:\\a b\\p.exe", u"/q"}},
      {u"\"a b\"c d", {u"a b", u"c", u"d"}},             // the program ends at its quote
      {u"a\"b c\" d", {u"a\"b", u"c d"}},                // an unquoted one at the blank
      {u"\"unclosed program", {u"unclosed program"}},
      {u"p \"a b\" c", {u"p", u"a b", u"c"}},
      {u"p a\"b c\"d", {u"p", u"ab cd"}},
      {u"p \"\"", {u"p", u""}},
      {u"p \"\" \"\"", {u"p", u"", u""}},
      {u"p \"a\"\"b\"", {u"p", u"a\"b"}},
      {u"p \"a\"\" b\"", {u"p", u"a\"", u"b"}},         // a pair inside quotes closes them
      {u"p \"\"\"\"", {u"p", u"\""}},
      {u"p \"\"\"\"\"\"", {u"p", u"\"\""}},
      {u"p \\\"", {u"p", u"\""}},
      {u"p \\\\\"a b\"", {u"p", u"\\a b"}},
      {u"p \\\\\\\"a", {u"p", u"\\\"a"}},
      {u"p a\\b\\\\c a\\\\", {u"p", u"a\\b\\\\c", u"a\\\\"}},  // no quote: backslashes stay
      {u"p \"a\\\\\"", {u"p", u"a\\"}},
      {u"p /e \"C:\\x y\\\"", {u"p", u"/e", u"C:\\x y\""}},
      {u"p \"unclosed arg", {u"p", u"unclosed arg"}},
      {u"p \u00e9 \"\U0001F600 x\"", {u"p", u"\u00e9", u"\U0001F600 x"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(launcher::SplitCommandLine(c.line), c.expected)
        << std::string(c.line.begin(), c.line.end());
  }
}

}  // namespace
