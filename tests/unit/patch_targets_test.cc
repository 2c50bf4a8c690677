#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "installer/patch_targets.h"

namespace {

class ReadPatchTargetsTest : public ::testing::Test {
 protected:
  bool Read(const std::u16string& path, std::u16string& result, std::uint32_t* error = nullptr) {
    return installer::ReadPatchTargets(fake.files, fake.installer, path, result, error);
  }
  fakes::FakePlatform fake;
};

TEST_F(ReadPatchTargetsTest, ReadsInOneCallUpTo2047CharactersAndRetriesOnceBeyond) {
  struct Case {
    std::size_t length;
    std::vector<std::uint32_t> capacities;
  };
  const Case cases[] = {{0, {2048}}, {818, {2048}}, {2047, {2048}}, {2048, {2048, 2049}}, {100000, {2048, 100001}}};
  for (const Case& c : cases) {
    fakes::FakePlatform f;
    const std::u16string text(c.length, u'{');
    f.installer.templates[u"C:\\Temp\\MSP2"] = text;
    std::u16string result = u"before";
    EXPECT_TRUE(installer::ReadPatchTargets(f.files, f.installer, u"C:\\Temp\\MSP2", result)) << c.length;
    EXPECT_EQ(result, text) << c.length;
    EXPECT_EQ(f.installer.readCapacities, c.capacities) << c.length;
    EXPECT_EQ(f.installer.closeCounts, (std::map<platform::MsiHandle, int>{{1, 1}})) << c.length;
  }
}

TEST_F(ReadPatchTargetsTest, FailedPropertyReadsLeaveTheResultAndCloseOnce) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reads;
    std::uint32_t expectedError;
  };
  const Case cases[] = {
      {"grew again between the two calls", {{234, 3000}, {234, 3100}}, 234},
      {"second call fails otherwise", {{234, 3000}, {1627, 0}}, 1627},
      {"first call fails", {{1627, 0}}, 1627},
  };
  for (const Case& c : cases) {
    fakes::FakePlatform f;
    f.installer.templates[u"C:\\p.msp"] = u"ignored";
    f.installer.scriptedReads = c.reads;
    std::u16string result = u"kept";
    std::uint32_t error = 0;
    EXPECT_FALSE(installer::ReadPatchTargets(f.files, f.installer, u"C:\\p.msp", result, &error)) << c.name;
    EXPECT_EQ(result, u"kept") << c.name;
    EXPECT_EQ(error, c.expectedError) << c.name;
    EXPECT_EQ(f.installer.readCapacities.size(), c.reads.size()) << c.name;
    EXPECT_EQ(f.installer.closeCounts[1], 1) << c.name;
  }
}

TEST_F(ReadPatchTargetsTest, RetryBufferIsExactlyTheReportedLengthPlusOne) {
  fake.installer.templates[u"C:\\p.msp"] = u"x";
  fake.installer.scriptedReads = {{234, 2105}, {0, 2105}};
  std::u16string result;
  EXPECT_TRUE(Read(u"C:\\p.msp", result));
  EXPECT_EQ(fake.installer.readCapacities, (std::vector<std::uint32_t>{2048, 2106}));
  // The fake fills a buffer without a terminator; the text is taken to the buffer's end only.
  EXPECT_EQ(result.size(), 2106u);
}

TEST_F(ReadPatchTargetsTest, FailedOpenClosesNothingAndLeavesTheResult) {
  std::u16string result = u"kept";
  EXPECT_FALSE(Read(u"C:\\nothing.msp", result));
  EXPECT_EQ(result, u"kept");
  EXPECT_TRUE(fake.installer.closeCounts.empty());
}

TEST_F(ReadPatchTargetsTest, RelativePathIsMadeFullFirst) {
  fake.installer.templates[u"C:\\work\\p.msp"] = u"{A}";
  std::u16string result;
  EXPECT_TRUE(Read(u"p.msp", result));
  EXPECT_EQ(fake.installer.openedPaths, std::vector<std::u16string>{u"C:\\work\\p.msp"});
}

TEST_F(ReadPatchTargetsTest, PathThatDoesNotFitIsAFailedOpen) {
  for (std::uint32_t length : {0u, 260u, 300u}) {
    fakes::FakePlatform f;
    f.files.fullPathResult = length;
    std::u16string result;
    EXPECT_FALSE(installer::ReadPatchTargets(f.files, f.installer, u"p.msp", result)) << length;
    EXPECT_TRUE(f.installer.openedPaths.empty()) << length;
  }
}

}  // namespace
