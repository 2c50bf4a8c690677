#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "launcher/launcher.h"

namespace {

using fakes::Bytes;
using fakes::FakeNode;

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.files.nodes[u"C:\\Temp\\"] = FakeNode{true, false, {}};
    fake.resources.AddPackage(Bytes("package"));
  }
  std::uint32_t Run(std::vector<std::u16string> arguments) {
    arguments.insert(arguments.begin(), u"launcher.exe");
    fake.process.arguments = arguments;
    return launcher::RunLauncher(context);
  }
  fakes::FakePlatform fake;
  launcher::ProcessState state;
  launcher::Context context{fake.platform, state};
};

TEST_F(LauncherTest, ListProductsShowsTheTargetsEvenWhenQuiet) {
  fake.installer.templates[u"C:\\Temp\\MSP2"] = u"{A};{B}";
  EXPECT_EQ(Run({u"/q", u"/i"}), 0u);
  ASSERT_EQ(fake.dialogs.shown.size(), 1u);
  EXPECT_EQ(fake.dialogs.shown[0].text, u"{A};{B}");
  EXPECT_EQ(fake.dialogs.shown[0].caption, u"List of Products");
  EXPECT_EQ(fake.dialogs.shown[0].style, 0x50000u);
  EXPECT_TRUE(fake.files.Exists(u"C:\\Temp\\MSP2"));  // left for the administrator
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
  fake.files.nodes[u"C:\\out"] = FakeNode{true, false, {}};
  fake.installer.templates[u"C:\\Temp\\MSP2"] = u"{A}";
  EXPECT_EQ(Run({u"/i", u"/e", u"C:\\never"}), 0u);  // nothing after /i counts
  EXPECT_FALSE(fake.files.Exists(u"C:\\never"));

  fakes::FakePlatform f;
  f.files.nodes[u"C:\\Temp\\"] = FakeNode{true, false, {}};
  f.files.nodes[u"C:\\out"] = FakeNode{true, false, {}};
  f.resources.AddPackage(Bytes("package"));
  // The copy written beside a.msp took the number 2.
  f.installer.templates[u"C:\\Temp\\MSP3"] = u"{A}";
  f.process.arguments = std::vector<std::u16string>{u"launcher.exe", u"/E", u"C:\\out\\a.msp", u"/I"};
  launcher::ProcessState s;
  launcher::Context ctx{f.platform, s};
  EXPECT_EQ(launcher::RunLauncher(ctx), 0u);
  EXPECT_EQ(f.files.Contents(u"C:\\out\\a.msp"), Bytes("package"));
  ASSERT_EQ(f.dialogs.shown.size(), 1u);
  EXPECT_EQ(f.dialogs.shown[0].text, u"{A}");
}

// The failing step's own error, or 1603 when it has none: never the 126 an i686 program
// finds in the thread's last error when it starts.
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
       [](fakes::FakePlatform& f) { f.files.nodes[u"C:\\ro"] = FakeNode{true, false, {}, 0, true}; },
       5},  // ERROR_ACCESS_DENIED
      {"/e whose write reports success but comes up short", {u"/e"}, fakes::MakeFirstWriteComeUpShort, 1603},
      {"/e with no temporary name to be had", {u"/e"}, fakes::SetTmpTooLongForAName, 1603},
      {"/i with no temporary name to be had", {u"/i"}, fakes::SetTmpTooLongForAName, 1603},
  };
  for (const Case& c : cases) {
    fakes::FakePlatform f;
    f.files.nodes[u"C:\\Temp\\"] = FakeNode{true, false, {}};
    f.resources.AddPackage(Bytes("package"));
    c.arrange(f);
    f.process.lastError = 126;
    std::vector<std::u16string> arguments = c.arguments;
    arguments.insert(arguments.begin(), u"launcher.exe");
    f.process.arguments = arguments;
    launcher::ProcessState s;
    launcher::Context ctx{f.platform, s};
    EXPECT_EQ(launcher::RunLauncher(ctx), c.exitCode) << c.name;
    // "/e" reports nothing; "/i" shows its list, here empty.
    EXPECT_EQ(f.dialogs.shown.size(), c.arguments[0] == u"/i" ? 1u : 0u) << c.name;
  }
}

TEST_F(LauncherTest, ExtractWithoutPathGoesToATempName) {
  EXPECT_EQ(Run({u"/e"}), 0u);
  EXPECT_EQ(state.launchOptions.extractPath, u"C:\\Temp\\MSP2");
  EXPECT_EQ(fake.files.Contents(u"C:\\Temp\\MSP2"), Bytes("package"));
}

}  // namespace
