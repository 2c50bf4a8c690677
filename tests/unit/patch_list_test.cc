#include <gtest/gtest.h>

#include <functional>

#include "fakes/fake_machine.h"
#include "fakes/string_tables.h"
#include "launcher/report_message.h"
#include "payload/patch_list.h"

namespace {

using fakes::Bytes;
using fakes::FakeNode;

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

std::string Block(std::string_view text) { return "*****\r\n" + std::string(text) + "\r\n"; }

TEST(PatchListName, DerivedFromTheFirstProductCode) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"{A1B2C3D4-ABCD-E5F6-A7B8-C9D0E1F2A3B4}", u"patchlistABCD.txt"},
      {u"{A1B2C3D4-ABCD-E5F6-A7B8-C9D0E1F2A3B4};{B1B2C3D4-EFGH-E5F6-A7B8-C9D0E1F2A3B4}",
       u"patchlistABCD.txt"},
      {u"WXYZ0123", u"patchlistWXYZ.txt"},
      {u"WX", u"patchlistWX.txt"},
      {u"", u"patchlist.txt"},
      {u"{A1B2C3D4-", u"patchlist.txt"},  // ends right after its first '-'
      {u"A-BC", u"patchlistBC.txt"},      // fewer than four after the '-'
      {u"X-ABCD:Y-EFGH", u"patchlistEFGH.txt"},  // what follows the ':' counts, wherever it is
      {u"a:b:c-DEFG", u"patchlistDEFG.txt"},     // the first ':' only
      {u"prefix:QRSTU", u"patchlistQRST.txt"},
      {u"prefix:", u"patchlist.txt"},
  };
  for (const auto& [targets, name] : cases) {
    EXPECT_EQ(payload::PatchListNameFromTargets(targets), name) << Narrow(targets);
  }
}

const std::string kText206 = "ProductCode={X}\r\nPatchSize=1234\r\n";
const std::string kText207 = "PatchTitle=Second\r\n";
const std::u16string kListPath = u"C:\\out\\list.txt";

// A machine with a package, text 206 and a folder C:\out for the list.
struct Machine : fakes::FakeMachine {
  Machine() {
    ShipLauncher();
    fake.files.nodes[u"C:\\out"] = FakeNode{.directory = true};
    AddText(206, kText206);
  }
  fakes::FakeResource& Text(int id) {
    return fake.resources.resources[{u"TXT", u"#" + fakes::U16(std::to_string(id))}];
  }
  void AddText(int id, std::string_view text) { Text(id).bytes = Bytes(text); }
  bool Write(std::u16string path = kListPath) { return payload::WritePatchList(run, path); }
  std::string Contents(const std::u16string& path = kListPath) const {
    const auto bytes = fake.files.Contents(path);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  // The ids of the boxes shown, told apart by their English texts.
  std::vector<launcher::MessageId> Shown() const {
    std::vector<launcher::MessageId> ids;
    for (const auto& box : fake.dialogs.shown) {
      ids.push_back(box.text.starts_with(u"A problem") ? 300 : box.text.starts_with(u"You must") ? 310 : 0);
    }
    return ids;
  }

};

TEST(PatchList, AppendsOneBlockPerTextAfterWhatTheFileHeld) {
  Machine m;
  m.AddText(207, kText207);
  m.fake.files.nodes[kListPath] = FakeNode{.bytes = Bytes("earlier\r\n")};
  ASSERT_TRUE(m.Write());
  EXPECT_EQ(m.Contents(), "earlier\r\n" + Block(kText206) + Block(kText207));
  ASSERT_TRUE(m.Write());
  EXPECT_EQ(m.Contents(), "earlier\r\n" + Block(kText206) + Block(kText207) + Block(kText206) + Block(kText207));
  EXPECT_TRUE(m.fake.dialogs.shown.empty());
  EXPECT_EQ(m.state.exitStatus.Code(), 0u);
  EXPECT_EQ(m.fake.files.openFiles, 0);
}

TEST(PatchList, TheTextSeries) {
  struct Case {
    const char* name;
    std::function<void(Machine&)> arrange;
    std::string written;  // what the new file holds afterwards
    std::vector<launcher::MessageId> shown;
    std::uint32_t exitCode;  // the failing call's own error, or 1603; never the stale one
  };
  const Case cases[] = {
      {"206 and 208: the series ends at the gap", [](auto& m) { m.AddText(208, "unseen\r\n"); },
       Block(kText206), {}, 0},
      {"no 206", [](auto& m) { m.fake.resources.resources.erase({u"TXT", u"#206"}); m.AddText(207, "x\r\n"); },
       "", {310}, 1603},
      {"206 of size 0", [](auto& m) { m.AddText(206, ""); m.AddText(207, "x\r\n"); }, "", {300}, 1603},
      {"207 of size 0 keeps the block of 206", [](auto& m) { m.AddText(207, ""); }, Block(kText206), {300}, 1603},
      {"207 cannot be loaded", [](auto& m) { m.AddText(207, "x\r\n"); m.Text(207).loadFails = true; },
       Block(kText206), {300}, 1812},  // ERROR_RESOURCE_DATA_NOT_FOUND
      {"206 cannot be locked", [](auto& m) { m.Text(206).lockFails = true; }, "", {300}, 1603},
  };
  for (const Case& c : cases) {
    Machine m;
    c.arrange(m);
    EXPECT_TRUE(m.Write()) << c.name;
    ASSERT_TRUE(m.fake.files.Exists(kListPath)) << c.name;  // created even when nothing is written
    EXPECT_EQ(m.Contents(), c.written) << c.name;
    EXPECT_EQ(m.Shown(), c.shown) << c.name;
    EXPECT_EQ(m.state.exitStatus.Code(), c.exitCode) << c.name;
    EXPECT_EQ(m.fake.files.openFiles, 0) << c.name;
  }
}

TEST(PatchList, FileThatCannotBeOpenedGets310AndItsError) {
  const std::pair<std::u16string, std::uint32_t> cases[] = {
      {u"C:\\missing\\list.txt", 3},  // ERROR_PATH_NOT_FOUND
      {u"C:\\out", 5},                // a directory
  };
  for (const auto& [target, error] : cases) {
    Machine m;
    const auto before = m.fake.files.nodes.size();
    EXPECT_FALSE(m.Write(target)) << Narrow(target);
    EXPECT_EQ(m.Shown(), std::vector<launcher::MessageId>{310}) << Narrow(target);
    EXPECT_EQ(m.state.exitStatus.Code(), error) << Narrow(target);
    EXPECT_EQ(m.fake.files.nodes.size(), before) << Narrow(target);
  }
}

// A write that fails or falls short would leave a broken block for the next run to write
// after: the run takes back all it wrote, and the old bytes are never touched.
TEST(PatchList, FailedWriteLeavesTheFileAsItWas) {
  struct Case {
    const char* name;
    std::size_t faultyWrite;  // 1: separator of 206, 2: its text, 3: its CR LF, 5: text of 207
    std::uint32_t bytes;
    std::uint32_t error;  // 0: WriteFile reports success with fewer bytes
    std::uint32_t exitCode;
  };
  const Case cases[] = {
      {"separator fails", 1, 0, 112, 112},
      {"text fails half-way", 2, 10, 112, 112},
      {"text written short", 2, 10, 0, 1603},
      {"closing line fails", 3, 1, 33, 33},
      {"second block's text fails", 5, 3, 112, 112},
  };
  for (const Case& c : cases) {
    Machine m;
    m.AddText(207, kText207);
    m.fake.files.nodes[kListPath] = FakeNode{.bytes = Bytes("old\r\n")};
    m.fake.files.writeFault = {.nth = c.faultyWrite, .bytes = c.bytes, .error = c.error};
    EXPECT_TRUE(m.Write()) << c.name;
    EXPECT_EQ(m.Contents(), "old\r\n") << c.name;
    ASSERT_EQ(m.Shown(), std::vector<launcher::MessageId>{300}) << c.name;
    EXPECT_TRUE(m.fake.dialogs.shown[0].text.ends_with(u": " + fakes::U16(std::to_string(c.exitCode)))) << c.name;
    EXPECT_EQ(m.state.exitStatus.Code(), c.exitCode) << c.name;
    EXPECT_EQ(m.fake.files.openFiles, 0) << c.name;
  }
}

TEST(PatchList, UnknownEndOfFileWritesNothing) {
  Machine m;
  m.fake.files.nodes[kListPath] = FakeNode{.bytes = Bytes("old")};
  m.fake.files.seekFails = true;
  EXPECT_TRUE(m.Write());
  EXPECT_EQ(m.Contents(), "old");
  EXPECT_TRUE(m.fake.files.writeSizes.empty());
  EXPECT_EQ(m.state.exitStatus.Code(), 6u);
}

TEST(PatchList, QuietShowsNothingButKeepsTheExitCode) {
  Machine m;
  m.state.launchOptions.quiet = true;
  m.fake.files.openFailsWith = 32;  // ERROR_SHARING_VIOLATION
  EXPECT_FALSE(m.Write());
  m.fake.files.openFailsWith = 0;
  m.fake.resources.resources.erase({u"TXT", u"#206"});
  EXPECT_TRUE(m.Write());
  EXPECT_TRUE(m.fake.dialogs.shown.empty());
  EXPECT_EQ(m.state.exitStatus.Code(), 32u);
}

TEST(PatchList, DefaultNameComesFromTheTargetListAndRemovesTheCopy) {
  Machine m;
  m.Targets(u"{6E8A3C41-B217-4F05-9D3E-58C1A7E4B290};{X-B217-Y}");
  std::u16string path;
  ASSERT_TRUE(payload::WritePatchList(m.run, path));
  EXPECT_EQ(path, u"patchlistB217.txt");  // no directory: the current one
  EXPECT_EQ(m.Contents(path), Block(kText206));
  EXPECT_FALSE(m.fake.files.Exists(u"C:\\Temp\\MSP2"));
  EXPECT_EQ(m.state.exitStatus.Code(), 0u);
}

TEST(PatchList, DefaultNameFallsBackToPatchlistTxt) {
  const std::pair<const char*, std::function<void(Machine&)>> cases[] = {
      {"package cannot be extracted", [](auto& m) { m.fake.files.tempPathResult = 0; }},
      {"target list cannot be read", [](auto&) {}},  // the fake has no summary for the copy
  };
  for (const auto& [name, arrange] : cases) {
    Machine m;
    arrange(m);
    std::u16string path;
    EXPECT_TRUE(payload::WritePatchList(m.run, path)) << name;
    EXPECT_EQ(path, u"patchlist.txt") << name;
    EXPECT_EQ(m.Contents(path), Block(kText206)) << name;
    EXPECT_TRUE(m.fake.dialogs.shown.empty()) << name;
  }
}

}  // namespace
