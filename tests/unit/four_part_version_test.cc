#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "installer/four_part_version.h"

namespace {

using installer::FourPartVersion;
using installer::ParseFourPartVersion;

TEST(ParseFourPartVersion, ReadsTextTheWayTheInstallerDataIsWritten) {
  struct Case {
    std::u16string text;
    FourPartVersion expected;
  };
  const Case cases[] = {
      {u"8.0.24.6", {8, 0, 24, 6}},
      {u"8,0,24,6", {8, 0, 24, 6}},
      {u"8.1,0.3", {8, 1, 0, 3}},
      {u"", {0, 0, 0, 0}},
      {u"8", {0, 0, 0, 0}},              // a number counts only before a dot
      {u"8.1", {8, 0, 0, 0}},
      {u"8.1.2", {8, 1, 0, 0}},
      {u"1.2.3.", {1, 2, 3, 0}},
      {u"8.1.2.3.4", {8, 1, 2, 3}},
      {u"8.1x.2.3", {8, 1, 2, 3}},
      {u"a.b.c.d", {0, 0, 0, 0}},
      {u" 8. 1.2.3", {8, 1, 2, 3}},
      {u"\t\n\v\f\r8.0.0.1", {8, 0, 0, 1}},
      {u"70000.1.1.1", {4464, 1, 1, 1}},
      {u"65536.0.0.65537", {0, 0, 0, 1}},
      {u"-1.0.0.0", {65535, 0, 0, 0}},
      {u"+8.0.0.1", {8, 0, 0, 1}},
      {u"4294967297.0.0.0", {1, 0, 0, 0}},  // wraps at 32 bits first
      {u"- 1.0.0.0", {0, 0, 0, 0}},         // no blank after the sign
      {u"8.0.24.6.9", {8, 0, 24, 6}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseFourPartVersion(c.text), c.expected) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(ParseFourPartVersion, EqualityIsAllFourParts) {
  EXPECT_EQ(ParseFourPartVersion(u"8.0.0.0"), ParseFourPartVersion(u"8.0"));
  EXPECT_EQ(ParseFourPartVersion(u"8"), ParseFourPartVersion(u"0.0.0.0"));
  EXPECT_NE(ParseFourPartVersion(u"8.0.24.6"), ParseFourPartVersion(u"8.0.24.7"));
  EXPECT_NE(ParseFourPartVersion(u"8.0.24.6"), ParseFourPartVersion(u"9.0.24.6"));
}

TEST(ConvertNumber, KeepsTheFull32BitValue) {
  EXPECT_EQ(installer::ConvertNumber(u"1031"), 1031);
  EXPECT_EQ(installer::ConvertNumber(u" 66567x"), 66567);
  EXPECT_EQ(installer::ConvertNumber(u""), 0);
  EXPECT_EQ(installer::ConvertNumber(u"-5"), -5);
}

TEST(ReadModuleVersion, FileVersionWordsInOrderAndTheBufferKeptOnFailure) {
  fakes::FakeFileVersions versions;
  versions.modules[u"C:\\m.vxm"].version = {(16u << 16) | 0u, (54u << 16) | 65535u};
  versions.modules[u"C:\\unreadable.vxm"].readFails = true;
  versions.modules[u"C:\\nofixed.vxm"].noFixedInfo = true;
  std::u16string text = u"kept";
  for (const char16_t* path : {u"C:\\missing.vxm", u"C:\\unreadable.vxm", u"C:\\nofixed.vxm"}) {
    EXPECT_FALSE(installer::ReadModuleVersion(versions, path, text));
    EXPECT_EQ(text, u"kept");
  }
  EXPECT_TRUE(installer::ReadModuleVersion(versions, u"C:\\m.vxm", text));
  EXPECT_EQ(text, u"16.0.54.65535");
  EXPECT_EQ(ParseFourPartVersion(text), (FourPartVersion{16, 0, 54, 65535}));
}

}  // namespace
