#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "payload/temp_name.h"

namespace {

using fakes::FakeFiles;
using fakes::FakeNode;
using fakes::FakeProcess;

FakeNode Directory() { return FakeNode{.directory = true}; }
FakeNode File() { return FakeNode{}; }

TEST(MakeTempName, ChoosesTheFirstDirectoryThatExists) {
  struct Case {
    const char* name;
    std::optional<std::u16string> tmp;
    std::vector<std::u16string> existing;
    std::u16string passed;
    std::u16string expectedName;
    std::u16string tokenUser = u"S-1-5-21-1-2-3-1001";
    bool hasGetTempPath2 = true;
  };
  const Case cases[] = {
      {"TMP without trailing backslash", u"C:\\t", {u"C:\\t", u"C:\\pass"}, u"C:\\pass", u"C:\\t\\MSP2"},
      {"TMP with forward slash at the end", u"C:/t/", {u"C:/t/"}, u"", u"C:/t/MSP2"},
      {"TMP in quotes", u"\"C:\\my temp\"", {u"C:\\my temp"}, u"C:\\pass", u"C:\\my temp\\MSP2"},
      {"quoted TMP that exists as written", u"\"q\"", {u"\"q\"", u"q"}, u"", u"\"q\"\\MSP2"},
      {"TMP missing: the directory passed in", u"C:\\gone", {u"C:\\pass\\"}, u"C:\\pass\\", u"C:\\pass\\MSP2"},
      {"TMP unset", std::nullopt, {u"C:\\pass\\"}, u"C:\\pass\\", u"C:\\pass\\MSP2"},
      {"nothing exists but the root", std::nullopt, {u"\\"}, u"C:\\gone", u"\\MSP2"},
      {"not even the root", std::nullopt, {}, u"", u".\\MSP2"},
      // SYSTEM's TMP is a folder every user can create files in.
      {"SYSTEM: the folder GetTempPath2W names", u"C:\\t", {u"C:\\t"}, u"", u"C:\\Windows\\SystemTemp\\MSP2",
       u"S-1-5-18"},
      {"SYSTEM on a Windows without GetTempPath2W", u"C:\\t", {u"C:\\t"}, u"", u"C:\\t\\MSP2", u"S-1-5-18", false},
  };
  for (const Case& c : cases) {
    FakeProcess process;
    FakeFiles files;
    if (c.tmp) process.environment[u"TMP"] = *c.tmp;
    process.tokenUser = c.tokenUser;
    if (!c.hasGetTempPath2) files.systemTempPath.reset();
    for (const auto& path : c.existing) files.nodes[path] = Directory();
    run::TempNameState state;
    EXPECT_EQ(payload::MakeTempName(files, process, state, c.passed, u"MSP"), c.expectedName) << c.name;
  }
}

TEST(MakeTempName, SkipsNamesInUseAndCarriesTheCounter) {
  FakeProcess process;
  FakeFiles files;
  files.nodes[u"C:\\T\\"] = Directory();
  files.nodes[u"C:\\T\\MSP2"] = File();
  files.nodes[u"C:\\T\\MSP3"] = Directory();
  files.nodes[u"C:\\T\\MSP4"] = FakeNode{.accessDenied = true};  // access denied: someone else's
  run::TempNameState state;
  EXPECT_EQ(payload::MakeTempName(files, process, state, u"C:\\T\\", u"MSP"), u"C:\\T\\MSP5");
  // Nothing was created, yet the next call goes on after the last number tried.
  EXPECT_EQ(payload::MakeTempName(files, process, state, u"C:\\T\\", u"MSP"), u"C:\\T\\MSP6");
  EXPECT_EQ(state.tempNameCounter, 6u);
  // A folder of the caller's, taken as it is, goes on with the same numbers.
  EXPECT_EQ(payload::MakeTempNameIn(files, state, u"C:", u"MSP"), u"C:MSP7");
}

TEST(MakeTempName, GivesUpAfter32767Numbers) {
  FakeProcess process;
  FakeFiles files;
  files.nodes[u"C:\\T\\"] = Directory();
  for (int n = 2; n <= 32768; ++n) files.nodes[u"C:\\T\\MSP" + fakes::U16(std::to_string(n))] = File();
  run::TempNameState state;
  EXPECT_EQ(payload::MakeTempName(files, process, state, u"C:\\T\\", u"MSP"), std::nullopt);

  files.nodes.erase(u"C:\\T\\MSP32768");  // the last of the 32767 numbers
  run::TempNameState fresh;
  EXPECT_EQ(payload::MakeTempName(files, process, fresh, u"C:\\T\\", u"MSP"), u"C:\\T\\MSP32768");
}

TEST(MakeTempName, RefusesADirectoryTooLongForAName) {
  FakeProcess process;
  FakeFiles files;
  // 245 + 3 + 12 = 260 still fits; one more character does not.
  const std::u16string fits(245, u'a');
  const std::u16string tooLong(246, u'a');
  files.nodes[fits] = Directory();
  files.nodes[tooLong] = Directory();
  run::TempNameState state;
  EXPECT_EQ(payload::MakeTempName(files, process, state, fits, u"MSP"), fits + u"\\MSP2");
  EXPECT_EQ(payload::MakeTempName(files, process, state, tooLong, u"MSP"), std::nullopt);
}

}  // namespace
