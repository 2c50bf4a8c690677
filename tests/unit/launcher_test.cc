#include <gtest/gtest.h>

#include "fakes/fake_machine.h"

namespace {

using fakes::Bytes;
using fakes::FakeNode;

class LauncherTest : public ::testing::Test, protected fakes::FakeMachine {
 protected:
  void SetUp() override { ShipLauncher(); }
  std::uint32_t Run(std::vector<std::u16string> arguments) { return RunWith(std::move(arguments)); }
};

TEST_F(LauncherTest, ListProductsShowsTheTargetsEvenWhenQuiet) {
  fake.installer.templates[u"C:\\Temp\\MSP2"] = u"{A};{B}";
  EXPECT_EQ(Run({u"/q", u"/i"}), 0u);
  ASSERT_EQ(fake.dialogs.shown.size(), 1u);
  EXPECT_EQ(fake.dialogs.shown[0].text, u"{A};{B}");
  EXPECT_EQ(fake.dialogs.shown[0].caption, u"List of Products");
  EXPECT_EQ(fake.dialogs.shown[0].style, 0x50000u);
  EXPECT_FALSE(fake.files.Exists(u"C:\\Temp\\MSP2"));  // read and removed again
}

TEST_F(LauncherTest, ListProductsShowsAnEmptyBoxAndFailsWhenTheListCannotBeRead) {
  fake.installer.openFailsWith = 1620;
  EXPECT_EQ(Run({u"/i"}), 1620u);
  ASSERT_EQ(fake.dialogs.shown.size(), 1u);
  EXPECT_EQ(fake.dialogs.shown[0].text, u"");
}

TEST_F(LauncherTest, ListProductsAfterAFailedExtractionShowsAnEmptyBox) {
  fake.resources.resources.clear();
  EXPECT_EQ(Run({u"/i"}), 1814u);  // the extraction's own error comes first
  ASSERT_EQ(fake.dialogs.shown.size(), 1u);
  EXPECT_EQ(fake.dialogs.shown[0].text, u"");
}

TEST_F(LauncherTest, ExtractThenListInTheirFixedOrder) {
  fake.files.nodes[u"C:\\out"] = FakeNode{.directory = true};
  fake.installer.templates[u"C:\\Temp\\MSP2"] = u"{A}";
  EXPECT_EQ(Run({u"/i", u"/e", u"C:\\never"}), 0u);  // nothing after /i counts
  EXPECT_FALSE(fake.files.Exists(u"C:\\never"));

  fakes::FakeMachine m;
  m.ShipLauncher();
  m.fake.files.nodes[u"C:\\out"] = FakeNode{.directory = true};
  // The copy written beside a.msp took the number 2, and the name for what it replaces 3.
  m.Targets(u"{A}", u"C:\\Temp\\MSP4");
  EXPECT_EQ(m.RunWith({u"/E", u"C:\\out\\a.msp", u"/I"}), 0u);
  EXPECT_EQ(m.fake.files.Contents(u"C:\\out\\a.msp"), Bytes("package"));
  EXPECT_EQ(m.Texts(), std::vector<std::u16string>{u"{A}"});
}

// The failing step's own error, or 1603 when it has none.
TEST_F(LauncherTest, FailedExtractionExitsWithTheStepsOwnErrorOrElse1603) {
  struct Case {
    const char* name;
    std::vector<std::u16string> arguments;
    std::function<void(fakes::FakePlatform&)> arrange;
    std::uint32_t exitCode;
  };
  const Case cases[] = {
      {"/e into a missing folder", {u"/e", u"C:\\missing\\a.msp"}, [](auto&) {}, 3},  // ERROR_PATH_NOT_FOUND
      // No name beside the file can be made: the last attempt's error.
      {"/e into a folder nobody may write to", {u"/e", u"C:\\ro\\a.msp"},
       [](fakes::FakePlatform& f) { f.files.nodes[u"C:\\ro"] = FakeNode{.directory = true, .readOnly = true}; },
       5},  // ERROR_ACCESS_DENIED
      {"/e whose write reports success but comes up short", {u"/e"}, fakes::MakeFirstWriteComeUpShort, 1603},
      {"/e with no temporary name to be had", {u"/e"}, fakes::SetTmpTooLongForAName, 1603},
      {"/i with no temporary name to be had", {u"/i"}, fakes::SetTmpTooLongForAName, 1603},
  };
  for (const Case& c : cases) {
    fakes::FakeMachine m;
    m.ShipLauncher();
    c.arrange(m.fake);
    EXPECT_EQ(m.RunWith(c.arguments), c.exitCode) << c.name;
    // "/e" reports nothing, so it never asks whether a box could be seen; "/i" shows its
    // list, here empty.
    const bool list = c.arguments[0] == u"/i";
    EXPECT_EQ(m.fake.dialogs.shown.size(), list ? 1u : 0u) << c.name;
    EXPECT_EQ(m.fake.dialogs.stationQuestions, list ? 1 : 0) << c.name;
  }
}

// "/?" shows the switches and runs nothing, whatever came before it.
TEST_F(LauncherTest, HelpShowsTheSwitchesAndRunsNothing) {
  const struct {
    const char* name;
    std::vector<std::u16string> arguments;
    bool stationVisible;
  } cases[] = {
      {"alone", {u"/?"}, true},
      {"quiet", {u"/Q", u"/?"}, true},
      {"after a mode", {u"/e", u"C:\\Temp\\a.msp", u"/p", u"C:\\Temp\\l.txt", u"/?", u"/i"}, true},
      {"logged", {u"/l", u"C:\\Temp\\run.log", u"/?"}, true},
      {"nobody to see it", {u"/?"}, false},
  };
  for (const auto& c : cases) {
    fakes::FakeMachine m;
    m.ShipLauncher();
    m.fake.dialogs.stationVisible = c.stationVisible;
    EXPECT_EQ(m.RunWith(c.arguments), 0u) << c.name;
    ASSERT_EQ(m.fake.dialogs.shown.size(), c.stationVisible ? 1u : 0u) << c.name;
    if (c.stationVisible) {
      EXPECT_EQ(m.fake.dialogs.shown[0].caption, u"Service Pack Switches") << c.name;
      EXPECT_EQ(m.fake.dialogs.shown[0].style, 0x50000u) << c.name;
      const std::u16string& text = m.fake.dialogs.shown[0].text;
      for (const char16_t* line : {u"\n/q\t", u"\n/norestart\t", u"\n/e <path>\t", u"\n/p <path>\t",
                                   u"\n/i\t", u"\n/l <path>\t", u"\n/?\t"}) {
        EXPECT_NE(text.find(line), std::u16string::npos) << c.name;
      }
    }
    // Nothing written, nothing extracted, the installer never asked.
    for (const auto& [path, node] : m.fake.files.nodes) {
      EXPECT_TRUE(path == u"C:\\Temp\\" || path == u"C:\\Temp\\run.log") << c.name;
    }
    EXPECT_TRUE(m.fake.installer.openedPaths.empty()) << c.name;
  }
}

// An administrator's unelevated double-click runs with UAC virtualization on: it is turned
// off before the first file is made, where the token allows (87: a Windows without it).
TEST_F(LauncherTest, VirtualizationIsOffBeforeTheFirstFileIsMade) {
  for (const std::uint32_t refusedWith : {0u, 87u}) {
    fakes::FakeMachine m;
    m.ShipLauncher();
    m.fake.process.virtualizationRefusedWith = refusedWith;
    m.fake.files.beforeCreate = [&](auto&) { EXPECT_EQ(m.fake.process.virtualizationOn, refusedWith != 0); };
    EXPECT_EQ(m.RunWith({u"/e"}), 0u);
    EXPECT_TRUE(m.fake.files.Exists(u"C:\\Temp\\MSP2"));
  }
}

TEST_F(LauncherTest, ExtractWithoutPathGoesToATempName) {
  EXPECT_EQ(Run({u"/e"}), 0u);
  EXPECT_EQ(state.launchOptions.extractPath, u"C:\\Temp\\MSP2");
  EXPECT_EQ(fake.files.Contents(u"C:\\Temp\\MSP2"), Bytes("package"));
}

}  // namespace
