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
    fake.files.nodes[u"C:\\Temp\\"] = FakeNode{.directory = true};
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
      fake.files.nodes[name] = FakeNode{.bytes = Bytes("sentinel")};
    }
  };
  std::u16string path;
  ASSERT_TRUE(Extract(path));
  EXPECT_EQ(path, u"C:\\Temp\\MSP3");
  EXPECT_EQ(fake.files.Contents(u"C:\\Temp\\MSP2"), Bytes("sentinel"));
  EXPECT_EQ(fake.files.Contents(path), package);
}

// Each failure carries the error of the call that failed, or none.
TEST_F(ExtractPayloadTest, FailuresLeaveNoFileBehindAndCarryTheirOwnError) {
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
      {"write fails", [](auto& f) { f.files.writeFault = {.error = 112}; }, true, 112},
      {"write reports success but comes up short", fakes::MakeFirstWriteComeUpShort, true, 0},
  };
  for (const Case& c : cases) {
    fakes::FakeMachine m;
    fakes::FakePlatform& f = m.fake;
    f.files.nodes[u"C:\\Temp\\"] = FakeNode{.directory = true};
    f.resources.AddPackage(package);
    c.arrange(f);
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
  fake.files.nodes[u"\\"] = FakeNode{.directory = true};
  std::u16string path;
  EXPECT_TRUE(Extract(path));
  EXPECT_EQ(path, u"\\MSP2");
}

// "/e <path>": the path ends up holding the whole package, or what it held before, and
// nothing is left beside it.
TEST_F(ExtractPayloadTest, GivenPathHoldsThePackageOrWhatItHeldAndNothingBesideIt) {
  const std::u16string out = u"C:\\out\\p.msp";
  enum class Left { kPackage, kOld, kNothing, kFolder };
  struct Case {
    const char* name;
    std::u16string path;
    bool existing;  // a file is there, with settings of the user's
    std::function<void(fakes::FakePlatform&)> arrange;
    bool ok;
    std::uint32_t error;
    Left left;
    std::string settings;  // what the package carries afterwards
  };
  const auto none = [](auto&) {};
  const Case cases[] = {
      {"no file there: moved in", out, false, none, true, 0, Left::kPackage, ""},
      {"a file there: replaced, keeping its settings", out, true, none, true, 0, Left::kPackage, "user's"},
      // The copy beside it needs no longer a name or path than the file itself.
      {"a name of 255 characters", u"C:\\out\\" + std::u16string(255, u'n'), true, none, true, 0,
       Left::kPackage, "user's"},
      {"a path of 259 characters", u"C:\\out\\" + std::u16string(252, u'n'), true, none, true, 0,
       Left::kPackage, "user's"},
      {"copies left by killed runs, of both forms", out, true,
       [&](fakes::FakePlatform& f) {
         for (int n = 1; n <= 1500; ++n) {
           const std::u16string number = fakes::U16(std::to_string(n));
           f.files.nodes[u"C:\\out\\MSP" + number] = FakeNode{.bytes = Bytes("left")};
           f.files.nodes[out + u".part" + number] = FakeNode{.bytes = Bytes("left")};
         }
       },
       true, 0, Left::kPackage, "user's"},
      {"the write fails", out, true, [](auto& f) { f.files.writeFault = {.error = 112}; }, false, 112, Left::kOld, ""},
      {"the write comes up short", out, true, fakes::MakeFirstWriteComeUpShort, false, 0, Left::kOld, ""},
      {"no package", out, true, [](auto& f) { f.resources.resources.clear(); }, false, 1814, Left::kOld, ""},
      {"the file there is read-only", out, true, [&](auto& f) { f.files.nodes[out].readOnly = true; }, false, 5,
       Left::kOld, ""},
      {"the file there is held open", out, true, [&](auto& f) { f.files.nodes[out].readLocks = 1; }, false, 32,
       Left::kOld, ""},
      {"the file there cannot be removed", out, true, [](auto& f) { f.files.replaceFailsWith = 1175; }, false,
       1175, Left::kOld, ""},
      // With a backup name, 1176 leaves both files under their own names.
      {"the copy cannot be renamed", out, true, [](auto& f) { f.files.replaceFailsWith = 1176; }, false, 1176,
       Left::kOld, ""},
      // 1177 moved the old file to the backup name: the copy is moved in after all, or else
      // the old file goes back.
      {"the copy cannot be moved in by the replace", out, true, [](auto& f) { f.files.replaceFailsWith = 1177; },
       true, 0, Left::kPackage, ""},
      {"the copy cannot be moved in at all", out, true,
       [](auto& f) {
         f.files.replaceFailsWith = 1177;
         f.files.moveFailsWith = 5;
         f.files.moveFailsFrom = u"C:\\out\\MSP2";
       },
       false, 1177, Left::kOld, ""},
      {"the copy cannot be flushed to the disk", out, true, [](auto& f) { f.files.flushFailsWith = 1117; }, false,
       1117, Left::kOld, ""},
      // A free temporary name equal to the target is not taken for the copy.
      {"the target's name is the first temporary name", u"C:\\out\\MSP2", false, none, true, 0, Left::kPackage,
       ""},
      {"the target's name is the first temporary name, in other case", u"C:\\out\\msp2", true, none, true, 0,
       Left::kPackage, "user's"},
      {"no file there, and the move fails", out, false, [](auto& f) { f.files.moveFailsWith = 5; }, false, 5,
       Left::kNothing, ""},
      // A move replaces the link itself.
      {"a link there", out, false,
       [&](auto& f) { f.files.nodes[out] = FakeNode{.bytes = Bytes("old"), .reparsePoint = true}; }, true, 0,
       Left::kPackage, ""},
      {"a folder there", u"C:\\out\\sub", false,
       [](auto& f) { f.files.nodes[u"C:\\out\\sub"] = FakeNode{.directory = true}; }, false, 5, Left::kFolder, ""},
      {"a folder that does not exist", u"C:\\missing\\p.msp", false, none, false, 3, Left::kNothing, ""},
      // A scanner opens the new copy, or the old file moved aside, for a moment.
      {"the copy held a moment", out, true, [](auto& f) { f.files.heldByOthers[u"C:\\out\\MSP2"] = 3; }, true, 0,
       Left::kPackage, "user's"},
      {"the copy held a moment, no file there", out, false,
       [](auto& f) { f.files.heldByOthers[u"C:\\out\\MSP2"] = 3; }, true, 0, Left::kPackage, ""},
      {"the old file held a moment once aside", out, true,
       [](auto& f) { f.files.heldByOthers[u"C:\\out\\MSP3"] = 3; }, true, 0, Left::kPackage, "user's"},
      {"the copy held for longer than the waits", out, true,
       [](auto& f) { f.files.heldByOthers[u"C:\\out\\MSP2"] = 20; }, false, 32, Left::kOld, ""},
  };
  for (const Case& c : cases) {
    fakes::FakeMachine m;
    fakes::FakePlatform& f = m.fake;
    f.files.nodes[u"C:\\Temp\\"] = FakeNode{.directory = true};
    f.files.nodes[u"C:\\out"] = FakeNode{.directory = true};
    f.resources.AddPackage(package);
    if (c.existing) f.files.nodes[c.path] = FakeNode{.bytes = Bytes("old"), .settings = "user's"};
    c.arrange(f);
    const std::map<std::u16string, FakeNode> before = f.files.nodes;
    std::u16string path = c.path;
    const platform::Status extracted = payload::ExtractPayload(m.run, path);
    EXPECT_EQ(extracted.ok(), c.ok) << c.name;
    EXPECT_EQ(extracted.error(), c.error) << c.name;
    EXPECT_EQ(path, c.path) << c.name;
    switch (c.left) {
      case Left::kPackage:
        EXPECT_EQ(f.files.Contents(c.path), package) << c.name;
        EXPECT_EQ(f.files.nodes.at(c.path).settings, c.settings) << c.name;
        break;
      case Left::kOld: EXPECT_EQ(f.files.Contents(c.path), Bytes("old")) << c.name; break;
      case Left::kNothing: EXPECT_FALSE(f.files.Exists(c.path)) << c.name; break;
      case Left::kFolder: EXPECT_TRUE(f.files.nodes.at(c.path).directory) << c.name; break;
    }
    // No copy or backup beside it, and whatever else was there untouched.
    for (const auto& [name, node] : f.files.nodes) {
      if (name == c.path) continue;
      EXPECT_TRUE(before.count(name) && before.at(name).bytes == node.bytes)
          << c.name << ": " << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(f.files.openFiles, 0) << c.name;
    // What takes the file's place is on the disk first.
    if (c.ok && c.left == Left::kPackage && c.path == out) {
      EXPECT_EQ(f.files.flushed.size(), 1u) << c.name;
    }
  }
}

// A folder that refuses every new name refuses the next one too: a few tries, not 32,767.
TEST_F(ExtractPayloadTest, AFolderThatDeniesEveryNameEndsTheAttemptsSoon) {
  fake.files.nodes[u"C:\\ro"] = FakeNode{.directory = true, .readOnly = true};
  int creates = 0;
  fake.files.beforeCreate = [&](const std::u16string&) { ++creates; };
  std::u16string path = u"C:\\ro\\p.msp";
  const platform::Status extracted = payload::ExtractPayload(run, path);
  EXPECT_EQ(extracted.error(), 5u);
  EXPECT_EQ(creates, 4);
}

// The copy goes into the path's own folder, under a temporary name.
TEST_F(ExtractPayloadTest, GivenPathsCopyIsWrittenInItsFolder) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"C:\\out\\p.msp", u"C:\\out\\MSP2"},
      {u"C:/out/p.msp", u"C:/out/MSP2"},
      {u"C:\\out\\", u"C:\\out\\MSP2"},
      {u"\\p.msp", u"\\MSP2"},
      {u"C:p.msp", u"C:MSP2"},  // the current folder on drive C:
      {u"p.msp", u"MSP2"},
      // Windows drops a name's trailing dots and spaces: these open MSP2, which the copy
      // must not be; the "\\?\" form opens the name as written.
      {u"C:\\out\\MSP2.", u"C:\\out\\MSP3"},
      {u"C:\\out\\msp2 . ", u"C:\\out\\MSP3"},
      {u"\\\\?\\C:\\out\\MSP2.", u"\\\\?\\C:\\out\\MSP2"},
  };
  for (const auto& [target, side] : cases) {
    fakes::FakeMachine m;
    m.fake.resources.AddPackage(package);
    std::vector<std::u16string> created;
    m.fake.files.beforeCreate = [&](const std::u16string& name) { created.push_back(name); };
    std::u16string path = target;
    (void)payload::ExtractPayload(m.run, path);
    ASSERT_FALSE(created.empty()) << std::string(target.begin(), target.end());
    EXPECT_EQ(created.front(), side) << std::string(target.begin(), target.end());
  }
}

}  // namespace
