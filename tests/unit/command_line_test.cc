#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "launcher/command_line.h"

namespace {

using launcher::LaunchOptions;

struct Case {
  const char* name;
  std::vector<std::u16string> arguments;  // after the program's path
  LaunchOptions expected;
};

LaunchOptions Patch(bool quiet = false) {
  LaunchOptions o;
  o.runPatchFlow = true;
  o.quiet = quiet;
  return o;
}
LaunchOptions NoRestart(LaunchOptions o) {
  o.noRestart = true;
  return o;
}
LaunchOptions Help(LaunchOptions o) {
  o.runPatchFlow = false;
  o.helpRequested = true;
  return o;
}
LaunchOptions Admin(bool extract, std::u16string extractPath, bool patchList, std::u16string patchListPath,
                    bool list, bool quiet = false) {
  LaunchOptions o;
  o.quiet = quiet;
  o.extractRequested = extract;
  o.extractPath = std::move(extractPath);
  o.patchListRequested = patchList;
  o.patchListPath = std::move(patchListPath);
  o.listProductsRequested = list;
  return o;
}

const Case kCases[] = {
    {"no arguments", {}, Patch()},
    {"quiet", {u"/q"}, Patch(true)},
    {"quiet in capitals", {u"/Q"}, Patch(true)},
    {"unknown words pass in silence", {u"q", u"-q", u"/quiet", u"/x", u""}, Patch()},
    {"extract with path", {u"/e", u"C:\\out.msp"}, Admin(true, u"C:\\out.msp", false, u"", false)},
    {"extract last", {u"/e"}, Admin(true, u"", false, u"", false)},
    {"extract empty quoted path", {u"/e", u""}, Admin(true, u"", false, u"", false)},
    {"extract swallows a switch", {u"/e", u"/q"}, Admin(true, u"/q", false, u"", false)},
    {"last extract path wins", {u"/e", u"a", u"/E", u"b"}, Admin(true, u"b", false, u"", false)},
    {"patch list with path", {u"/P", u"list.txt"}, Admin(false, u"", true, u"list.txt", false)},
    {"patch list last", {u"/p"}, Admin(false, u"", true, u"", false)},
    {"all three in order", {u"/e", u"a", u"/p", u"b", u"/i"}, Admin(true, u"a", true, u"b", true)},
    {"nothing after /i is read", {u"/i", u"/e", u"a", u"/q"}, Admin(false, u"", false, u"", true)},
    {"quiet before /i", {u"/q", u"/I"}, Admin(false, u"", false, u"", true, true)},
    {"quiet after /i", {u"/i", u"/q"}, Admin(false, u"", false, u"", true)},
    // Only A-Z fold: a Turkish dotted capital I or a full-width slash is no switch.
    {"no folding beyond A-Z", {u"/\u0130", u"\uFF0Fq"}, Patch()},
    {"switch with trailing blank", {u"/q "}, Patch()},
    {"no restart", {u"/norestart"}, NoRestart(Patch())},
    {"no restart in capitals, with quiet", {u"/NoRestart", u"/q"}, NoRestart(Patch(true))},
    {"no restart chooses no mode", {u"/e", u"a", u"/norestart"}, NoRestart(Admin(true, u"a", false, u"", false))},
    {"no restart after /i is never read", {u"/i", u"/norestart"}, Admin(false, u"", false, u"", true)},
    {"no restart taken as a path", {u"/l", u"/norestart"}, [] { auto o = Patch(); o.logPath = u"/norestart"; return o; }()},
    {"help", {u"/?"}, Help(LaunchOptions{})},
    {"help ends the scan", {u"/?", u"/e", u"a", u"/i"}, Help(LaunchOptions{})},
    {"help with quiet", {u"/q", u"/?"}, Help(Patch(true))},
    {"help after a mode runs no mode", {u"/e", u"a", u"/?"}, Help(Admin(true, u"a", false, u"", false))},
    {"help after /i is never read", {u"/i", u"/?"}, Admin(false, u"", false, u"", true)},
    {"help is no path switch", {u"/?x"}, Patch()},
    {"help as -?", {u"-?"}, Help(LaunchOptions{})},
    {"help as /H", {u"/H"}, Help(LaunchOptions{})},
    {"help as -h", {u"-h"}, Help(LaunchOptions{})},
    {"help as /Help", {u"/Help"}, Help(LaunchOptions{})},
    {"no help in -help or /hh", {u"-help", u"/hh"}, Patch()},
};

// Parses "launcher.exe" followed by the case's arguments into `options`.
bool Parse(const Case& c, LaunchOptions& options) {
  fakes::FakeProcess process;
  process.arguments = std::vector<std::u16string>{u"launcher.exe"};
  process.arguments->insert(process.arguments->end(), c.arguments.begin(), c.arguments.end());
  return launcher::ParseCommandLine(process, options);
}

TEST(ParseCommandLine, TableOfArgumentVectors) {
  for (const Case& c : kCases) {
    LaunchOptions options;
    EXPECT_TRUE(Parse(c, options));
    EXPECT_EQ(options, c.expected) << c.name;
  }
}

LaunchOptions Logged(LaunchOptions options, std::u16string logPath) {
  options.logPath = std::move(logPath);
  return options;
}

// "/l" takes its path like "/e" and "/p" but chooses no mode.
const Case kLogCases[] = {
    {"log alone runs the patch flow", {u"/l", u"x.log"}, Logged(Patch(), u"x.log")},
    {"log in capitals", {u"/L", u"x.log"}, Logged(Patch(), u"x.log")},
    {"quiet before log", {u"/q", u"/l", u"x.log"}, Logged(Patch(true), u"x.log")},
    {"quiet after log", {u"/l", u"x.log", u"/Q"}, Logged(Patch(true), u"x.log")},
    {"log last gives no log", {u"/q", u"/l"}, Patch(true)},
    {"log swallows a switch", {u"/l", u"/q"}, Logged(Patch(), u"/q")},
    {"log swallows a mode", {u"/l", u"/e", u"a"}, Logged(Patch(), u"/e")},
    {"last log path wins", {u"/l", u"a", u"/l", u"b"}, Logged(Patch(), u"b")},
    {"extract with log", {u"/e", u"p", u"/l", u"x"}, Logged(Admin(true, u"p", false, u"", false), u"x")},
    {"extract swallows the log switch", {u"/e", u"/l", u"x"}, Admin(true, u"/l", false, u"", false)},
    {"patch list with log", {u"/l", u"x", u"/p", u"b"}, Logged(Admin(false, u"", true, u"b", false), u"x")},
    {"log before /i", {u"/l", u"x", u"/q", u"/i"}, Logged(Admin(false, u"", false, u"", true, true), u"x")},
    {"log after /i is never read", {u"/i", u"/l", u"x"}, Admin(false, u"", false, u"", true)},
    {"no folding beyond the switch", {u"/lx", u"-l", u"x"}, Patch()},
};

TEST(ParseCommandLine, LogSwitch) {
  for (const Case& c : kLogCases) {
    LaunchOptions options;
    options.logPath = u"stale";
    Parse(c, options);
    EXPECT_EQ(options, c.expected) << c.name;
  }
}

TEST(ParseCommandLine, ProgramPathIsNeverASwitch) {
  fakes::FakeProcess process;
  process.arguments = std::vector<std::u16string>{u"/i"};
  LaunchOptions options;
  launcher::ParseCommandLine(process, options);
  EXPECT_EQ(options, Patch());
}

TEST(ParseCommandLine, EmptyCommandLineRunsThePatchFlow) {
  fakes::FakeProcess process;
  process.arguments.reset();
  LaunchOptions options;
  options.quiet = true;
  EXPECT_TRUE(launcher::ParseCommandLine(process, options));
  EXPECT_EQ(options, Patch());
}

}  // namespace
