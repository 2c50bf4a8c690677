#include <gtest/gtest.h>

#include "fakes/fake_machine.h"
#include "fakes/string_tables.h"

namespace {

class ReportMessageTest : public ::testing::Test, protected fakes::FakeMachine {
 protected:
  void SetUp() override { fakes::AddShippedStrings(fake.resources); }
};

TEST_F(ReportMessageTest, EachIdGetsItsTextArgumentCaptionAndStyle) {
  struct Case {
    launcher::MessageId id;
    std::uint32_t error;
    std::u16string name;
    std::u16string text;
    std::u16string caption;
    std::uint32_t style;
  };
  const Case cases[] = {
      {300, 1603, u"", u"A problem prevented the Service Pack from being installed. Contact your system "
                       u"administrator. \n\n Error Code: 1603", u"Installation Error", 0x50010},
      {300, 0x80070005u, u"", u"A problem prevented the Service Pack from being installed. Contact your system "
                              u"administrator. \n\n Error Code: -2147024891", u"Installation Error", 0x50010},
      {301, 0, u"Tessary", u"The service pack was successfully installed and Tessary has been updated.",
       u"Installation Successful", 0x50040},
      {301, 0, u"", u"The service pack was successfully installed and  has been updated.",
       u"Installation Successful", 0x50040},
      {306, 0, u"Tessary", u"Your version of Tessary is up-to-date and this service pack is not necessary",
       u"Installation Unnecessary", 0x50010},
      {308, 0, u"100%s", u"This service pack could not be installed because it is not designed for the version "
                         u"of 100%s that is installed on your computer.", u"Installation Error", 0x50010},
      {309, 5, u"x", u"The command line that you supplied is incorrect. Please check it for errors.",
       u"Installation Error", 0x50010},
      {302, 5, u"x", u"", u"Error", 0x50000},
      {700, 5, u"x", u"8.2.0.4", u"Error", 0x50000},
  };
  for (const Case& c : cases) {
    fake.dialogs.shown.clear();
    state.currentProductName = c.name;
    launcher::ReportMessage(context, c.id, c.error);
    ASSERT_EQ(fake.dialogs.shown.size(), 1u) << c.id;
    EXPECT_EQ(fake.dialogs.shown[0].text, c.text) << c.id;
    EXPECT_EQ(fake.dialogs.shown[0].caption, c.caption) << c.id;
    EXPECT_EQ(fake.dialogs.shown[0].style, c.style) << c.id;
  }
}

TEST_F(ReportMessageTest, QuietShowsNothingAndReadsNothing) {
  state.launchOptions.quiet = true;
  fake.resources.stringBlocks.clear();  // any lookup would now come back empty-handed
  launcher::ReportMessage(context, 300);
  EXPECT_TRUE(fake.dialogs.shown.empty());
}

TEST_F(ReportMessageTest, LanguageFollowsTheThreadLocaleThenTheUserAndSystemThenEnglish) {
  struct Case {
    std::uint32_t threadLocale;
    std::uint16_t user;
    std::uint16_t system;
    std::u16string expectedCaption;
  };
  const Case cases[] = {
      {1031, 1033, 1033, u"Installationsfehler"},
      {0x10407, 1033, 1033, u"Installationsfehler"},  // a sort order does not change the language
      {1053, 1031, 1033, u"Installationsfehler"},     // no Swedish table: the user's language
      {1053, 1053, 1031, u"Installationsfehler"},
      {1053, 1053, 1053, u"Installation Error"},
      {1041, 1033, 1031, u"Installation Error"},
  };
  for (const Case& c : cases) {
    fake.dialogs.shown.clear();
    fake.process.threadLocale = c.threadLocale;
    fake.process.userUILanguage = c.user;
    fake.process.systemUILanguage = c.system;
    launcher::ReportMessage(context, 308);
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].caption, c.expectedCaption) << c.threadLocale;
  }
}

TEST_F(ReportMessageTest, GermanTableWithoutAnIdFallsBackToEnglishForThatId) {
  fake.process.threadLocale = 1031;
  launcher::ReportMessage(context, 309);  // the German fake table has no 309
  EXPECT_EQ(fake.dialogs.shown.at(0).text,
            u"The command line that you supplied is incorrect. Please check it for errors.");
  EXPECT_EQ(fake.dialogs.shown.at(0).caption, u"Installationsfehler");
}

TEST_F(ReportMessageTest, OverlongProductNamesAreCutToTheRoomOfTheMessage) {
  for (std::size_t length : {513u, 514u, 5000u}) {
    fake.dialogs.shown.clear();
    state.currentProductName = std::u16string(length, u'n');
    launcher::ReportMessage(context, 301);
    const std::u16string format = u"The service pack was successfully installed and %s has been updated.";
    EXPECT_EQ(fake.dialogs.shown.at(0).text.size(), format.size() - 2 + 513) << length;
  }
  // A surrogate pair at the cut is dropped whole.
  fake.dialogs.shown.clear();
  state.currentProductName = std::u16string(512, u'x') + u"\U0001F600" + u"tail";
  launcher::ReportMessage(context, 301);
  const std::u16string& text = fake.dialogs.shown.at(0).text;
  EXPECT_EQ(text.find(u'\xD83D'), std::u16string::npos);
}

TEST(LoadLocalizedString, TakesAtMostCapacityMinusOneCharacters) {
  fakes::FakePlatform fake;
  fakes::AddStrings(fake.resources, 1033, {{900, u"8.0.24.6,8.1.0.3,"}});
  launcher::ProcessState state;
  launcher::Context context{fake.platform, state};
  std::u16string text = u"old";
  EXPECT_EQ(launcher::LoadLocalizedString(context, 900, text, 5), 4);
  EXPECT_EQ(text, u"8.0.");
  EXPECT_EQ(launcher::LoadLocalizedString(context, 901, text, 256), 0);
  EXPECT_EQ(text, u"");
}

TEST(ReadStringBlockEntry, RefusesBlocksThatEndEarly) {
  const std::byte oneEntry[] = {std::byte{2}, std::byte{0}, std::byte{'h'}, std::byte{0}, std::byte{'i'}, std::byte{0}};
  EXPECT_EQ(launcher::ReadStringBlockEntry(oneEntry, 0), u"hi");
  EXPECT_EQ(launcher::ReadStringBlockEntry(oneEntry, 1), std::nullopt);
  EXPECT_EQ(launcher::ReadStringBlockEntry(std::span(oneEntry).first(5), 0), std::nullopt);
  EXPECT_EQ(launcher::ReadStringBlockEntry(std::span(oneEntry).first(1), 0), std::nullopt);
  EXPECT_EQ(launcher::ReadStringBlockEntry(oneEntry, 16), std::nullopt);
}

}  // namespace
