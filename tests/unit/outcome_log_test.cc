#include <gtest/gtest.h>

#include <functional>

#include "fakes/fake_machine.h"
#include "fakes/string_tables.h"
#include "installer/registration_fixup.h"
#include "launcher/launcher.h"
#include "launcher/log_line.h"
#include "launcher/report_message.h"
#include "launcher/utf8_text.h"

namespace {

using fakes::FakeNode;
using platform::RegistryRoot;

TEST(Utf8Text, EncodesEveryRangeAndReplacesLoneSurrogates) {
  const struct {
    std::u16string text;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"A\n", "A\n"},
      {u"\u00F6\u00DF", "\xC3\xB6\xC3\x9F"},
      {u"\u20AC\uFFFF", "\xE2\x82\xAC\xEF\xBF\xBF"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {u"a\xD83D", "a\xEF\xBF\xBD"},                         // high surrogate at the end
      {u"\xD83Dx", "\xEF\xBF\xBDx"},                         // high surrogate before no low one
      {u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},         // the pair reversed
      {u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},  // a lone high, then a pair
  };
  for (const auto& c : cases) EXPECT_EQ(launcher::Utf8Text(c.text), c.utf8) << c.utf8;
}

TEST(LogLine, FieldsTabsEscapesAndTime) {
  const platform::UtcTime time{987, 1, 2, 3, 4, 5};
  EXPECT_EQ(launcher::IsoTime(time), u"0987-01-02T03:04:05Z");
  EXPECT_EQ(launcher::OutcomeLine(time, u"300", u"", u"a \n\n b\tc\r"),
            "0987-01-02T03:04:05Z\t300\t-\ta \\n\\n b\\tc\\r\r\n");
  EXPECT_EQ(launcher::OutcomeLine({2026, 12, 8, 4, 10, 0}, u"301", u"{A}", u"Gr\u00F6\u00DFe"),
            "2026-12-08T04:10:00Z\t301\t{A}\tGr\xC3\xB6\xC3\x9F" "e\r\n");
  EXPECT_EQ(launcher::ExitLine(time, 4294967295u), "0987-01-02T03:04:05Z\texit\t4294967295\r\n");
}

std::string Ascii(const std::u16string& text) { return std::string(text.begin(), text.end()); }

const std::u16string kA = u"{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}";
const std::u16string kB = u"{BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB}";
const std::u16string kC = u"{CCCCCCCC-CCCC-CCCC-CCCC-CCCCCCCCCCCC}";
const std::u16string kPackage = u"C:\\Temp\\MSP2";
const std::string kTime = "2026-12-08T04:10:00Z\t";
const std::string k301 = "The service pack was successfully installed and Gr\xC3\xB6\xC3\x9F" "e has been updated.";
const std::string k308 = "This service pack could not be installed because it is not designed for the version "
                         "of Second that is installed on your computer.";
const std::string k300 = "A problem prevented the Service Pack from being installed. Contact your system "
                         "administrator. \\n\\n Error Code: ";

// A launcher with its strings, and a machine with a German product at a candidate version
// (its box is German, its log line English), an English one at no candidate version and
// one whose patch the installer refuses.
struct Machine : fakes::FakeMachine {
  Machine() {
    ShipLauncher();
    f.files.nodes[u"C:\\logs"] = FakeNode{.directory = true};
    Targets(kA + u";" + kB + u";" + kC);
    AddProduct(kA, u"Gr\u00F6\u00DFe", u"1031", u"8.0.24.6");
    AddProduct(kB, u"Second", u"1033", u"8.0.20.0");
    AddProduct(kC, u"Third", u"1033", u"8.1.0.3", 1603);
  }
  std::string Log(const std::u16string& path) const {
    if (!f.files.Exists(path)) return "<none>";
    const auto bytes = f.files.Contents(path);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  fakes::FakePlatform& f = fake;
};

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += kTime + line + "\r\n";
  return text;
}

struct Scenario {
  const char* name;
  std::vector<std::u16string> arguments;  // besides "/l"
  std::function<void(Machine&)> arrange;
  std::string log;
};

const Scenario kScenarios[] = {
    {"patch flow", {}, [](Machine&) {},
     Lines({"301\t" + Ascii(kA) + "\t" + k301, "308\t" + Ascii(kB) + "\t" + k308,
            "300\t" + Ascii(kC) + "\t" + k300 + "1603", "exit\t1603"})},
    {"quiet patch flow", {u"/q"}, [](Machine&) {},
     Lines({"301\t" + Ascii(kA) + "\t" + k301, "308\t" + Ascii(kB) + "\t" + k308,
            "300\t" + Ascii(kC) + "\t" + k300 + "1603", "exit\t1603"})},
    {"a window station nobody sees", {}, [](Machine& m) { m.f.dialogs.stationVisible = false; },
     Lines({"-\t-\tThe window station is not visible: no boxes, no installer dialogs, no restart by the "
            "installer itself.",
            "301\t" + Ascii(kA) + "\t" + k301, "308\t" + Ascii(kB) + "\t" + k308,
            "300\t" + Ascii(kC) + "\t" + k300 + "1603", "exit\t1603"})},
    {"session 0", {u"/i"}, [](Machine& m) { m.f.process.sessionId = 0; },
     Lines({"-\t-\tThe run is in session 0, which nobody sees: no boxes, no installer dialogs, no restart "
            "by the installer itself.",
            "-\t-\t" + Ascii(kA + u";" + kB + u";" + kC), "exit\t0"})},
    {"all up to date is about no one product", {},
     [](Machine& m) {
       m.Targets(kB);
       m.AddProduct(kB, u"Second", u"1033", u"8.2.0.4");
     },
     Lines({"306\t-\tYour version of Second is up-to-date and this service pack is not necessary", "exit\t0"})},
    {"target list unreadable", {u"/q"}, [](Machine& m) { m.f.installer.templates.clear(); },
     Lines({"300\t-\t" + k300 + "110", "exit\t110"})},
    {"extract", {u"/e", u"C:\\logs\\out.msp"}, [](Machine&) {}, Lines({"exit\t0"})},
    // A logged "/e" asks about the window station for its log's sake.
    {"extract where nobody sees", {u"/e", u"C:\\logs\\out.msp"},
     [](Machine& m) { m.f.dialogs.stationVisible = false; },
     Lines({"-\t-\tThe window station is not visible: no boxes, no installer dialogs, no restart by the "
            "installer itself.",
            "exit\t0"})},
    {"patch list cannot be created", {u"/q", u"/p", u"C:\\missing\\list.txt"}, [](Machine&) {},
     Lines({"310\t-\tYou must supply a patch list with the command line to install this service pack "
            "installation.",
            "exit\t3"})},
    {"list products", {u"/i"}, [](Machine&) {},
     Lines({"-\t-\t" + Ascii(kA + u";" + kB + u";" + kC), "exit\t0"})},
    // As Windows answers a run as SYSTEM and an administrator's unelevated one: a product
    // installed for another user is absent; the registration of B, whose module stands at
    // another version than registered, may not be changed. The others go on.
    {"a product for another user, a registration that may not be changed", {},
     [](Machine& m) {
       m.AddProduct(kA, u"Gr\u00F6\u00DFe", u"1031", u"8.0.24.6", 0, 2);  // INSTALLSTATE_ABSENT
       m.AddProduct(kB, u"Second", u"1033", u"8.0.24.6");
       m.AddProduct(kC, u"Third", u"1033", u"8.1.0.3");
       m.f.registry.keys[{RegistryRoot::kLocalMachine, *installer::HostKeyPath(kB)}].values[u"VornLocation"].data =
           fakes::Utf16Bytes(u"C:\\T");
       m.f.fileVersions.modules[u"C:\\T\\mainmod.vxm"].version = {16u << 16, 54u << 16};
       m.f.registry.keys[{RegistryRoot::kLocalMachineShared, u"SOFTWARE\\Classes\\Installer\\Products\\" +
                                                                  *installer::PackProductCode(kB)}].deleteFailsWith = 5;
     },
     Lines({"-\t" + Ascii(kA) + "\tInstalled for another user only: not patched by this run.",
            "-\t" + Ascii(kB) + "\tNot patched: its stale \"Transforms\" stays.", "300\t" + Ascii(kB) + "\t" + k300 + "5",
            "301\t" + Ascii(kC) + "\tThe service pack was successfully installed and Third has been updated.",
            "exit\t5"})},
};

// Everything a run leaves that a person or a deployment tool could see, bar the logs.
struct Observed {
  std::uint32_t exitCode;
  std::vector<fakes::ShownBox> boxes;
  std::map<std::u16string, FakeNode> files;
  std::size_t patchCalls;
};

Observed Observe(const Scenario& s, const std::vector<std::u16string>& logArguments,
                 const std::function<void(Machine&)>& arrangeLog, std::string* log = nullptr) {
  Machine m;
  s.arrange(m);
  arrangeLog(m);
  auto arguments = logArguments;
  arguments.insert(arguments.end(), s.arguments.begin(), s.arguments.end());
  Observed seen{m.RunWith(arguments), m.f.dialogs.shown, m.f.files.nodes, m.f.installer.configureCalls.size()};
  if (log) *log = m.Log(u"C:\\logs\\run.log");
  std::erase_if(seen.files, [](const auto& node) { return node.first.starts_with(u"C:\\logs\\run.log"); });
  return seen;
}

void ExpectSameRun(const Observed& with, const Observed& without, const std::string& what) {
  EXPECT_EQ(with.exitCode, without.exitCode) << what;
  ASSERT_EQ(with.boxes.size(), without.boxes.size()) << what;
  for (std::size_t i = 0; i < with.boxes.size(); ++i) {
    EXPECT_EQ(with.boxes[i].text, without.boxes[i].text) << what;
    EXPECT_EQ(with.boxes[i].caption, without.boxes[i].caption) << what;
    EXPECT_EQ(with.boxes[i].style, without.boxes[i].style) << what;
  }
  ASSERT_EQ(with.files.size(), without.files.size()) << what;
  for (const auto& [path, node] : without.files) {
    ASSERT_EQ(with.files.count(path), 1u) << what;
    EXPECT_EQ(with.files.at(path).bytes, node.bytes) << what;
  }
  EXPECT_EQ(with.patchCalls, without.patchCalls) << what;
}

TEST(OutcomeLog, EachScenarioLogsItsOutcomesInEnglishAndRunsAsWithoutALog) {
  for (const Scenario& s : kScenarios) {
    std::string log;
    const Observed without = Observe(s, {}, [](Machine&) {});
    const Observed with = Observe(s, {u"/l", u"C:\\logs\\run.log"}, [](Machine&) {}, &log);
    ExpectSameRun(with, without, s.name);
    EXPECT_EQ(log, s.log) << s.name;
  }
}

TEST(OutcomeLog, ALogThatCannotBeWrittenChangesNothing) {
  const std::u16string path = u"C:\\logs\\run.log";
  const struct {
    const char* name;
    std::u16string path;
    std::function<void(Machine&)> arrange;
  } logs[] = {
      {"a folder", path, [&](Machine& m) { m.f.files.nodes[path] = FakeNode{.directory = true}; }},
      {"in a missing folder", u"C:\\missing\\run.log", [](Machine&) {}},
      {"read-only", path, [&](Machine& m) { m.f.files.nodes[path].readOnly = true; }},
      {"every write fails", path, [&](Machine& m) { m.f.files.writeFault = {.path = path}; }},
      {"empty", u"", [](Machine&) {}},
  };
  for (const Scenario& s : kScenarios) {
    const Observed without = Observe(s, {}, [](Machine&) {});
    for (const auto& log : logs) {
      ExpectSameRun(Observe(s, {u"/l", log.path}, log.arrange), without, std::string(s.name) + ", " + log.name);
    }
  }
}

TEST(OutcomeLog, AppendsToWhatTheFileHeld) {
  Machine m;
  m.f.files.nodes[u"C:\\logs\\run.log"].bytes = fakes::Bytes("earlier line\r\n");
  m.RunWith({u"/q", u"/l", u"C:\\logs\\run.log", u"/e", u"C:\\logs\\a.msp"});
  m.RunWith({u"/l", u"C:\\logs\\run.log", u"/e", u"C:\\logs\\a.msp"});
  EXPECT_EQ(m.Log(u"C:\\logs\\run.log"), "earlier line\r\n" + Lines({"exit\t0", "exit\t0"}));
  EXPECT_EQ(m.f.files.openFiles, 0);
}

// A log that fails on the way, with lookups that fail too, changes nothing that the box shows.
TEST(OutcomeLog, AFailingLogLeavesTheBoxAsItWas) {
  Machine m;
  m.f.files.writeFault = {.path = u"C:\\logs\\run.log"};
  m.state.outcomeLog.Open(m.f.files, u"C:\\logs\\run.log");
  launcher::ReportMessage(m.context, IDS_INSTALL_ERROR, 1234);
  ASSERT_EQ(m.f.dialogs.shown.size(), 1u);
  EXPECT_TRUE(m.f.dialogs.shown[0].text.ends_with(u"Error Code: 1234"));
}

TEST(OutcomeLog, TheInstallerLogsBesideItWhereThatFileCanBeWritten) {
  const struct {
    const char* name;
    std::vector<std::u16string> arguments;
    bool msiLogReadOnly;
    std::vector<std::u16string> enabled;
  } cases[] = {
      {"relative path made full", {u"/q", u"/l", u"run.log"}, false, {u"C:\\work\\run.log.msi.log"}},
      {"full path", {u"/l", u"C:\\logs\\run.log"}, false, {u"C:\\logs\\run.log.msi.log"}},
      {"no log", {u"/q"}, false, {}},
      {"log cannot be opened", {u"/l", u"C:\\missing\\run.log"}, false, {}},
      {"installer log cannot be written", {u"/l", u"C:\\logs\\run.log"}, true, {}},
      {"no patch flow", {u"/l", u"C:\\logs\\run.log", u"/e", u"C:\\logs\\a.msp"}, false, {}},
  };
  for (const auto& c : cases) {
    Machine m;
    m.f.files.nodes[u"C:\\work"] = FakeNode{.directory = true};
    if (c.msiLogReadOnly) m.f.files.nodes[u"C:\\logs\\run.log.msi.log"].readOnly = true;
    m.RunWith(c.arguments);
    std::vector<std::u16string> enabled;
    for (const auto& call : m.f.installer.logCalls) {
      EXPECT_EQ(call.mode, 0x1FDFu) << c.name;
      EXPECT_EQ(call.attributes, 3u) << c.name;  // append, flush each line
      enabled.push_back(call.path);
    }
    EXPECT_EQ(enabled, c.enabled) << c.name;
    EXPECT_EQ(m.f.files.openFiles, 0) << c.name;
  }
}

}  // namespace
