#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "fakes/fake_machine.h"
#include "payload/extract_payload.h"

namespace {

using fakes::Bytes;
using fakes::FakeNode;

class ExtractPayloadTest : public ::testing::Test, protected fakes::FakeMachine {
 protected:
  void SetUp() override {
    fake.files.nodes[u"C:\\Temp\\"] = FakeNode{true, false, {}};
    fake.files.nodes[u"C:\\out"] = FakeNode{true, false, {}};
    fake.resources.AddPackage(package);
  }
  bool Extract(std::u16string& path) { return payload::ExtractPayload(run, path).ok(); }

  std::vector<std::byte> package = Bytes("\xD0\xCF\x11\xE0 the package");
};

TEST_F(ExtractPayloadTest, WritesThePackageToAFreshTempNameInOneWrite) {
  std::u16string path;
  ASSERT_TRUE(Extract(path));
  EXPECT_EQ(path, u"C:\\Temp\\MSP2");
  EXPECT_EQ(fake.files.Contents(path), package);
  EXPECT_EQ(fake.files.writeSizes, std::vector<std::uint32_t>{static_cast<std::uint32_t>(package.size())});
  EXPECT_EQ(fake.files.openFiles, 0);
}

TEST_F(ExtractPayloadTest, NameTakenBetweenTestAndCreateIsNeverTouched) {
  // Another process plants a file at MSP2 right after the name was tested.
  fake.files.beforeCreate = [&](const std::u16string& name) {
    if (name == u"C:\\Temp\\MSP2" && !fake.files.Exists(name)) {
      fake.files.nodes[name] = FakeNode{false, false, Bytes("sentinel")};
    }
  };
  std::u16string path;
  ASSERT_TRUE(Extract(path));
  EXPECT_EQ(path, u"C:\\Temp\\MSP3");
  EXPECT_EQ(fake.files.Contents(u"C:\\Temp\\MSP2"), Bytes("sentinel"));
  EXPECT_EQ(fake.files.Contents(path), package);
}

// Each failure carries the error of the call that failed, or none, never what the thread's
// last error held before (an i686 program starts with 126 there).
TEST_F(ExtractPayloadTest, FailuresLeaveNoFileBehindAndCarryTheirOwnError) {
  constexpr std::uint32_t kStale = 126;
  struct Case {
    const char* name;
    std::function<void(fakes::FakePlatform&)> arrange;
    bool nameChosen;  // the path holds the temporary name afterwards
    std::uint32_t error;
  };
  const Case cases[] = {
      {"temp path unavailable", [](auto& f) { f.files.tempPathResult = 0; }, false, 206},
      {"temp path longer than 1024", [](auto& f) { f.files.tempPathResult = 1025; }, false, 0},
      {"TMP too long for a name", fakes::SetTmpTooLongForAName, false, 0},
      {"no package", [](auto& f) { f.resources.resources.clear(); }, true, 1814},
      {"empty package", [](auto& f) { f.resources.AddPackage({}); }, true, 0},
      {"package cannot be loaded", [](auto& f) { f.resources.resources.begin()->second.loadFails = true; }, true, 1812},
      {"package cannot be locked", [](auto& f) { f.resources.resources.begin()->second.lockFails = true; }, true, 0},
      {"write fails", [](auto& f) { f.files.writeFailsWith = 112; }, true, 112},
      {"write reports success but comes up short", fakes::MakeFirstWriteComeUpShort, true, 0},
  };
  for (const Case& c : cases) {
    fakes::FakeMachine m;
    fakes::FakePlatform& f = m.fake;
    f.files.nodes[u"C:\\Temp\\"] = FakeNode{.directory = true};
    f.resources.AddPackage(package);
    c.arrange(f);
    f.process.lastError = kStale;
    std::u16string path;
    const platform::Status extracted = payload::ExtractPayload(m.run, path);
    EXPECT_FALSE(extracted.ok()) << c.name;
    EXPECT_EQ(extracted.error(), c.error) << c.name;
    EXPECT_EQ(path, c.nameChosen ? u"C:\\Temp\\MSP2" : u"") << c.name;
    EXPECT_FALSE(f.files.Exists(u"C:\\Temp\\MSP2")) << c.name;
    EXPECT_EQ(f.files.openFiles, 0) << c.name;
  }
}

TEST_F(ExtractPayloadTest, TempPathOfExactly1024PassesTheTest) {
  fake.files.tempPathResult = 1024;  // the buffer then holds no usable text: the fallbacks decide
  fake.files.nodes[u"\\"] = FakeNode{true, false, {}};
  std::u16string path;
  EXPECT_TRUE(Extract(path));
  EXPECT_EQ(path, u"\\MSP2");
}

TEST_F(ExtractPayloadTest, GivenPathIsReplacedOnlyWhenTheWholePackageIsWritten) {
  fake.files.nodes[u"C:\\out\\p.msp"] = FakeNode{false, false, Bytes("old")};
  std::u16string path = u"C:\\out\\p.msp";

  fake.files.shortWrite = 2;
  EXPECT_FALSE(Extract(path));
  EXPECT_EQ(fake.files.Contents(path), Bytes("old"));

  fake.files.shortWrite.reset();
  fake.files.moveFailsWith = platform::kErrorAccessDenied;
  // The replace's own error, not what removing the copy beside it left.
  EXPECT_EQ(payload::ExtractPayload(run, path).error(), platform::kErrorAccessDenied);
  EXPECT_EQ(fake.files.Contents(path), Bytes("old"));

  fake.files.moveFailsWith = 0;
  EXPECT_TRUE(Extract(path));
  EXPECT_EQ(fake.files.Contents(path), package);
  EXPECT_EQ(path, u"C:\\out\\p.msp");
  // Nothing is left beside it.
  for (const auto& [name, node] : fake.files.nodes) {
    EXPECT_TRUE(name == u"C:\\Temp\\" || name == u"C:\\out" || name == path) << std::string(name.begin(), name.end());
  }
}

TEST_F(ExtractPayloadTest, GivenPathInAMissingDirectoryCreatesNothing) {
  std::u16string path = u"C:\\missing\\p.msp";
  EXPECT_FALSE(Extract(path));
  EXPECT_EQ(fake.files.nodes.size(), 2u);
}

TEST_F(ExtractPayloadTest, GivenPathThatIsADirectoryStaysADirectory) {
  std::u16string path = u"C:\\out";
  EXPECT_FALSE(Extract(path));
  EXPECT_TRUE(fake.files.nodes.at(u"C:\\out").directory);
  EXPECT_EQ(fake.files.nodes.size(), 2u);
}

}  // namespace
