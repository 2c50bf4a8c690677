#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "installer/registration_fixup.h"

namespace {

using platform::RegistryRoot;

const std::u16string kCode = u"{12345678-9ABC-DEF0-1234-56789ABCDEF0}";
const std::u16string kHostKey = u"Software\\Brimfold\\Tessary\\R16.0\\Vorn-ABC:EF0";
// The machine's registration, not the merged HKEY_CLASSES_ROOT of whoever runs the launcher.
const std::u16string kProductKey = u"SOFTWARE\\Classes\\Installer\\Products\\87654321CBA90FED21436587A9CBED0F";

using fakes::Utf16Bytes;

TEST(PackProductCode, ReversesGroupsAndSwapsPairs) {
  EXPECT_EQ(installer::PackProductCode(kCode), u"87654321CBA90FED21436587A9CBED0F");
  EXPECT_EQ(installer::PackProductCode(u"{12345678-9abc-def0-1234-56789abcdef0}"),
            u"87654321cba90fed21436587a9cbed0f");
  for (const char16_t* bad : {u"", u"{12345678-9ABC-DEF0-1234-56789ABCDEF0", u"{12345678-9ABC-DEF0-1234-56789ABCDEF0}x",
                              u" {12345678-9ABC-DEF0-1234-56789ABCDEF}", u"{12345678_9ABC-DEF0-1234-56789ABCDEF0}",
                              u"{1234567G-9ABC-DEF0-1234-56789ABCDEF0}", u"{x}"}) {
    EXPECT_EQ(installer::PackProductCode(bad), std::nullopt) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
    EXPECT_EQ(installer::HostKeyPath(bad), std::nullopt);
  }
}

TEST(HostKeyPath, TakesDigitsTwoToFourOfTheSecondAndThirdGroups) {
  EXPECT_EQ(installer::HostKeyPath(kCode), kHostKey);
  EXPECT_EQ(installer::HostKeyPath(u"{6E8A3C41-B217-4F05-9D3E-58C1A7E4B290}"),
            u"Software\\Brimfold\\Tessary\\R16.0\\Vorn-217:F05");
}

class FixUpRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& host = fake.registry.keys[{RegistryRoot::kLocalMachine, kHostKey}];
    host.values[u"VornLocation"].data = Utf16Bytes(u"C:\\Tessary", true);
    auto& product = fake.registry.keys[{RegistryRoot::kLocalMachineShared, kProductKey}];
    product.values[u"Transforms"].data = Utf16Bytes(u":a.mst", true);
    product.values[u"ProductName"].data = Utf16Bytes(u"Tessary", true);
    fake.fileVersions.modules[u"C:\\Tessary\\mainmod.vxm"].version = {(16u << 16), (54u << 16)};
  }
  bool HasTransforms() {
    const auto& values = fake.registry.keys[{RegistryRoot::kLocalMachineShared, kProductKey}].values;
    return values.count(u"Transforms") == 1;
  }
  void FixUp(installer::FourPartVersion installed, const std::u16string& code = kCode) {
    EXPECT_TRUE(installer::FixUpRegistration(fake.platform, code, installed).ok());
    EXPECT_EQ(fake.registry.openKeys, 0);  // every key opened is closed
  }
  fakes::FakePlatform fake;
};

TEST_F(FixUpRegistrationTest, RemovesTransformsOnlyWhenTheModuleIsAtAnotherVersion) {
  FixUp({16, 0, 54, 0});
  EXPECT_TRUE(HasTransforms());
  FixUp({8, 1, 0, 3});
  EXPECT_FALSE(HasTransforms());
  const auto& values = fake.registry.keys[{RegistryRoot::kLocalMachineShared, kProductKey}].values;
  EXPECT_EQ(values.count(u"ProductName"), 1u);
  EXPECT_EQ(fake.registry.opened.front(), std::make_pair(kHostKey, 1u));
  EXPECT_EQ(fake.registry.opened.back(), std::make_pair(kProductKey, 0x20006u));
}

// Only a registration the launcher may not change, as Windows answers an administrator's
// unelevated run, is a failure: the error comes back.
TEST_F(FixUpRegistrationTest, ChangesNothingWhenSomethingOnTheWayIsMissingOrRefused) {
  struct Case {
    const char* name;
    std::function<void(fakes::FakePlatform&)> arrange;
    std::u16string code = kCode;
    std::uint32_t error = 0;
  };
  const Case cases[] = {
      {"no host key", [](auto& f) { f.registry.keys.erase({RegistryRoot::kLocalMachine, kHostKey}); }},
      {"host key not readable", [](auto& f) { f.registry.keys[{RegistryRoot::kLocalMachine, kHostKey}].openFailsWith = 5; }},
      {"no VornLocation", [](auto& f) { f.registry.keys[{RegistryRoot::kLocalMachine, kHostKey}].values.clear(); }},
      {"VornLocation over 2048 bytes",
       [](auto& f) {
         f.registry.keys[{RegistryRoot::kLocalMachine, kHostKey}].values[u"VornLocation"].data =
             Utf16Bytes(std::u16string(1100, u'x'), true);
       }},
      {"module missing", [](auto& f) { f.fileVersions.modules.clear(); }},
      {"module without version", [](auto& f) { f.fileVersions.modules.begin()->second.noFixedInfo = true; }},
      {"registration key missing", [](auto& f) { f.registry.keys.erase({RegistryRoot::kLocalMachineShared, kProductKey}); }},
      {"code is not a braced GUID", [](auto&) {}, u"{12345678-9ABC-DEF0-1234-56789ABCDEF0} "},
      {"registration key refused", [](auto& f) { f.registry.keys[{RegistryRoot::kLocalMachineShared, kProductKey}].openFailsWith = 5; }, kCode, 5},
      {"delete refused", [](auto& f) { f.registry.keys[{RegistryRoot::kLocalMachineShared, kProductKey}].deleteFailsWith = 5; }, kCode, 5},
  };
  for (const Case& c : cases) {
    fakes::FakePlatform f;
    f.registry.keys = fake.registry.keys;
    f.fileVersions.modules = fake.fileVersions.modules;
    c.arrange(f);
    EXPECT_EQ(installer::FixUpRegistration(f.platform, c.code, {8, 1, 0, 3}).error(), c.error) << c.name;
    EXPECT_TRUE(f.registry.deleted.empty()) << c.name;
    EXPECT_EQ(f.registry.openKeys, 0) << c.name;
  }
}

TEST_F(FixUpRegistrationTest, LocationWithoutTerminatorIsTakenToItsStoredLength) {
  fake.registry.keys[{RegistryRoot::kLocalMachine, kHostKey}].values[u"VornLocation"].data =
      Utf16Bytes(u"C:\\Tessary", false);
  FixUp({8, 1, 0, 3});
  EXPECT_FALSE(HasTransforms());
}

TEST_F(FixUpRegistrationTest, VersionsEqualAfterParsingCountAsEqual) {
  fake.fileVersions.modules[u"C:\\Tessary\\mainmod.vxm"].version = {(8u << 16), 0};
  FixUp(installer::ParseFourPartVersion(u"8.0"));
  EXPECT_TRUE(HasTransforms());
}

}  // namespace
