#include <gtest/gtest.h>

#include "fakes/fake_machine.h"
#include "fakes/string_tables.h"
#include "installer/patch_flow.h"
#include "installer/product_discovery.h"
#include "launcher/launcher.h"
#include "payload/extracted_package.h"

namespace {

using fakes::FakeNode;

const std::u16string kA = u"{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}";
const std::u16string kB = u"{BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB}";
const std::u16string kC = u"{CCCCCCCC-CCCC-CCCC-CCCC-CCCCCCCCCCCC}";
const std::u16string kPackage = fakes::kPackagePath;

class PatchFlowTest : public ::testing::Test, protected fakes::FakeMachine {
 protected:
  void SetUp() override {
    ShipLauncher();
    fake.process.narrowEnvironment["CommonProgramFiles"] = "C:\\Program Files\\Common Files";
    // The package is on disk while the installer reads it.
    fake.installer.onConfigure = [&](const std::u16string&) { EXPECT_TRUE(fake.files.Exists(kPackage)); };
  }
  void Product(const std::u16string& code, const std::u16string& name, const std::u16string& language,
               const std::u16string& version, std::uint32_t configureResult = 0, std::int32_t state = 5) {
    AddProduct(code, name, language, version, configureResult, state);
  }
  std::uint32_t Run(std::vector<std::u16string> arguments = {}) { return RunWith(std::move(arguments)); }
  std::vector<std::u16string> Patched() const {
    std::vector<std::u16string> codes;
    for (const auto& call : fake.installer.configureCalls) codes.push_back(call.code);
    return codes;
  }
};

const std::u16string k301 = u"The service pack was successfully installed and Tessary has been updated.";
const std::u16string k306 = u"Your version of Tessary is up-to-date and this service pack is not necessary";
const std::u16string k308 = u"This service pack could not be installed because it is not designed for the version "
                            u"of Tessary that is installed on your computer.";
const std::u16string k300of1603 = u"A problem prevented the Service Pack from being installed. Contact your system "
                                  u"administrator. \n\n Error Code: 1603";

TEST_F(PatchFlowTest, OneProductPerOutcome) {
  struct Case {
    const char* name;
    std::u16string version;
    std::uint32_t configureResult;
    std::vector<std::u16string> texts;
    bool patched;
    std::uint32_t exitCode;
  };
  const Case cases[] = {
      {"first candidate", u"8.0.24.6", 0, {k301}, true, 0},
      {"second candidate", u"8.1.0.3", 0, {k301}, true, 0},
      {"candidate written with commas", u"8,1,0,3", 0, {k301}, true, 0},
      {"up to date", u"8.2.0.4", 0, {k306}, false, 0},
      {"no candidate", u"8.0.20.0", 0, {k308}, false, 1642},
      {"patch refused", u"8.0.24.6", 1603, {k300of1603}, true, 1603},
      {"restart required", u"8.0.24.6", 3010, {k301}, true, 3010},
      {"restart initiated", u"8.1.0.3", 1641, {k301}, true, 1641},
      {"restart required, as 3011", u"8.0.24.6", 3011, {k301}, true, 3010},
  };
  for (const Case& c : cases) {
    fakes::FakeMachine m;
    m.ShipLauncher();
    fakes::FakePlatform& f = m.fake;
    f.process.narrowEnvironment["CommonProgramFiles"] = "C:\\CPF";
    m.Targets(kA);
    m.AddProduct(kA, u"Tessary", u"1033", c.version, c.configureResult);
    EXPECT_EQ(m.RunWith(), c.exitCode) << c.name;
    EXPECT_EQ(m.Texts(), c.texts) << c.name;
    EXPECT_EQ(f.installer.configureCalls.size(), c.patched ? 1u : 0u) << c.name;
    const bool applied = c.patched && c.configureResult != 1603;
    EXPECT_EQ(f.process.removedNarrow,
              applied ? std::vector<std::string>{"C:\\CPF\\Brimfold Shared\\ B1E56000plu.cfg"} : std::vector<std::string>{})
        << c.name;
    EXPECT_FALSE(f.files.Exists(kPackage)) << c.name;  // a normal end removes the package
  }
}

TEST_F(PatchFlowTest, PatchCallCarriesThePackagesFullPathInQuotes) {
  struct Case {
    const char* name;
    std::function<void(fakes::FakePlatform&)> arrange;
    std::u16string fullPath;
  };
  const Case cases[] = {
      {"in the temporary folder", [](auto&) {}, kPackage},
      // TMP and the system's folder missing: the name "\MSP2" is relative to the drive,
      // which the installer, in a process of its own, cannot know.
      {"in the root of the current drive",
       [](fakes::FakePlatform& f) {
         f.files.nodes.erase(u"C:\\Temp\\");
         f.files.nodes[u"\\"] = FakeNode{.directory = true};
         f.process.environment[u"TMP"] = u"gone";
       },
       u"C:\\MSP2"},
  };
  for (const Case& c : cases) {
    fakes::FakeMachine m;
    m.ShipLauncher();
    fakes::FakePlatform& f = m.fake;
    c.arrange(f);
    m.Targets(kA, c.fullPath);
    m.AddProduct(kA, u"Tessary", u"1033", u"8.0.24.6");
    EXPECT_EQ(m.RunWith(), 0u) << c.name;
    ASSERT_EQ(f.installer.configureCalls.size(), 1u) << c.name;
    const auto& call = f.installer.configureCalls[0];
    EXPECT_EQ(call.code, kA);
    EXPECT_EQ(call.level, 0);
    EXPECT_EQ(call.state, 5);
    EXPECT_EQ(call.commandLine, u"PATCH=\"" + c.fullPath + u"\"") << c.name;
    EXPECT_TRUE(f.installer.uiLevels.empty());  // the installer keeps its own interface
  }
}

// Whoever started a run that nobody watches restarts the machine on their own schedule.
TEST_F(PatchFlowTest, RestartsAreLeftToWhoeverStartedTheRun) {
  const std::u16string patch = u"PATCH=\"" + kPackage + u"\"";
  const struct {
    const char* name;
    std::vector<std::u16string> arguments;
    bool stationVisible;
    std::u16string commandLine;
    std::size_t boxes;
    std::vector<int> uiLevels;
    std::uint32_t session = 1;
    bool refusesUacOnly = false;
  } cases[] = {
      {"boxes", {}, true, patch, 1, {}},
      // Silent but for UAC's elevation prompt, which the person who started it can answer.
      {"quiet", {u"/q"}, true, patch + u" REBOOT=ReallySuppress", 0, {0x202}},
      {"quiet, the prompt refused as Wine does", {u"/q"}, true, patch + u" REBOOT=ReallySuppress", 0, {0x202, 2},
       1, true},
      {"no restart, with boxes", {u"/NORESTART"}, true, patch + u" REBOOT=ReallySuppress", 1, {}},
      {"a window station nobody sees", {}, false, patch + u" REBOOT=ReallySuppress", 0, {2}},
      {"session 0, whatever its station says", {}, true, patch + u" REBOOT=ReallySuppress", 0, {2}, 0},
  };
  for (const auto& c : cases) {
    fakes::FakeMachine m;
    m.ShipLauncher();
    m.Targets(kA);
    m.AddProduct(kA, u"Tessary", u"1033", u"8.0.24.6", 3010);
    m.fake.dialogs.stationVisible = c.stationVisible;
    m.fake.process.sessionId = c.session;
    m.fake.installer.refusesUacOnly = c.refusesUacOnly;
    EXPECT_EQ(m.RunWith(c.arguments), 3010u) << c.name;
    ASSERT_EQ(m.fake.installer.configureCalls.size(), 1u) << c.name;
    EXPECT_EQ(m.fake.installer.configureCalls[0].commandLine, c.commandLine) << c.name;
    EXPECT_EQ(m.fake.dialogs.shown.size(), c.boxes) << c.name;
    EXPECT_EQ(m.fake.installer.uiLevels, c.uiLevels) << c.name;
  }
}

TEST_F(PatchFlowTest, ARefusalIsAFailureWhateverItsNumber) {
  Targets(kA + u";" + kB);
  Product(kA, u"Tessary", u"1033", u"8.0.24.6", 1642);
  Product(kB, u"Tessary", u"1033", u"8.0.24.6", 1603);
  EXPECT_EQ(Run(), 1642u);  // the first failure
  EXPECT_EQ(Texts().size(), 2u);
}

TEST_F(PatchFlowTest, UpToDateProductIsSilentBesideOthers) {
  Targets(kA + u";" + kB);
  Product(kA, u"Tessary", u"1033", u"8.2.0.4");
  Product(kB, u"Tessary", u"1033", u"8.0.24.6", 1603);
  EXPECT_EQ(Run(), 1603u);
  EXPECT_EQ(Texts(), std::vector<std::u16string>{k300of1603});
}

TEST_F(PatchFlowTest, AllUpToDateGivesOne306InTheUsersLanguageNamingTheLast) {
  Targets(kA + u";" + kB);
  Product(kA, u"First", u"1031", u"8.2.0.4");
  Product(kB, u"Tessary", u"1031", u"8,2,0,4");
  fake.process.userUILanguage = 1033;
  EXPECT_EQ(Run(), 0u);
  ASSERT_EQ(Texts(), std::vector<std::u16string>{k306});
  EXPECT_EQ(fake.process.localesSet, (std::vector<std::uint32_t>{1031, 1031, 0x400}));
  EXPECT_FALSE(fake.files.Exists(kPackage));
}

TEST_F(PatchFlowTest, EachProductIsReportedInItsOwnLanguage) {
  Targets(kA + u";" + kB);
  Product(kA, u"Erstes", u"1031", u"8.0.20.0");
  Product(kB, u"Tessary", u"1033", u"8.0.24.6");
  Run();
  ASSERT_EQ(fake.dialogs.shown.size(), 2u);
  EXPECT_EQ(fake.dialogs.shown[0].text, u"DE-308 Erstes");
  EXPECT_EQ(fake.dialogs.shown[0].caption, u"Installationsfehler");
  EXPECT_EQ(fake.dialogs.shown[1].text, k301);
  EXPECT_EQ(fake.dialogs.shown[1].caption, u"Installation Successful");
}

TEST_F(PatchFlowTest, CandidateEqualToTargetStopsTheRunAndRemovesThePackage) {
  fakes::AddStrings(fake.resources, 1033, {{900, u"8.0.24.6,8.2.0.4,8.1.0.3,"}});
  Targets(kA + u";" + kB);
  Product(kA, u"Tessary", u"1033", u"8.1.0.3");
  Product(kB, u"Other", u"1033", u"8.0.24.6");
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(Texts(), std::vector<std::u16string>{k306});
  EXPECT_TRUE(Patched().empty());
  EXPECT_FALSE(fake.files.Exists(kPackage));
}

// The installer has started a restart: no product after it is touched, and the log says
// which were left.
TEST_F(PatchFlowTest, ARestartTheInstallerStartedEndsTheRun) {
  fake.files.nodes[u"C:\\logs"] = FakeNode{.directory = true};
  Targets(kA + u";" + kB + u";" + kC);
  Product(kA, u"Tessary", u"1033", u"8.0.24.6", 1641);
  Product(kB, u"Other", u"1033", u"8.0.24.6");
  Product(kC, u"Third", u"1033", u"8.1.0.3");
  EXPECT_EQ(Run({u"/l", u"C:\\logs\\run.log"}), 1641u);
  EXPECT_EQ(Texts(), std::vector<std::u16string>{k301});
  EXPECT_EQ(Patched(), std::vector<std::u16string>{kA});
  const auto bytes = fake.files.Contents(u"C:\\logs\\run.log");
  const std::string log(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  for (const std::u16string& code : {kB, kC}) {
    const std::string line = "\t-\t" + std::string(code.begin(), code.end()) + "\tNot reached: ";
    EXPECT_NE(log.find(line), std::string::npos) << log;
  }
}

TEST_F(PatchFlowTest, CandidateListRules) {
  struct Case {
    std::u16string candidates;
    std::u16string installed;
    bool patched;
  };
  const Case cases[] = {
      {u"8.0.24.6,8.1.0.3", u"8.1.0.3", false},  // the last candidate needs its comma
      {u"8.0.24.6,8.1.0.3", u"8.0.24.6", true},
      {u",", u"0.0.0.0", true},                  // an empty piece is 0.0.0.0
      {u"8.0.24.6.9,", u"8.0.24.6", true},       // compared as versions, not text
      {u"8,0,24,6,", u"8.0.24.6", false},        // commas split candidates first
  };
  for (const Case& c : cases) {
    fakes::FakeMachine m;
    m.ShipLauncher();
    fakes::FakePlatform& f = m.fake;
    fakes::AddStrings(f.resources, 1033, {{700, u"8.2.0.4"}, {900, c.candidates}});
    m.Targets(kA);
    m.AddProduct(kA, u"T", u"1033", c.installed);
    m.RunWith();
    EXPECT_EQ(f.installer.configureCalls.size(), c.patched ? 1u : 0u)
        << std::string(c.candidates.begin(), c.candidates.end()) << " / "
        << std::string(c.installed.begin(), c.installed.end());
  }
}

TEST_F(PatchFlowTest, DiscoveryScansTheListInOrderVerbatimUpToAnEmptySegment) {
  struct Case {
    const char* name;
    std::u16string list;
    std::vector<std::u16string> queried;
  };
  const Case cases[] = {
      {"two codes", kA + u";" + kB, {kA, kB}},
      {"trailing semicolon", kA + u";" + kB + u";", {kA, kB}},
      {"empty segment stops", kA + u";;" + kB, {kA}},
      {"leading semicolon", u";" + kA, {}},
      {"empty list", u"", {}},
      {"blanks kept", u" " + kA + u" ;" + kB, {u" " + kA + u" ", kB}},
      {"duplicates kept", kA + u";" + kA, {kA, kA}},
  };
  for (const Case& c : cases) {
    std::vector<std::u16string> seen;
    installer::ForEachTargetCode(c.list, [&](const std::u16string& code) { seen.push_back(code); });
    EXPECT_EQ(seen, c.queried) << c.name;
  }
}

TEST_F(PatchFlowTest, DiscoveryWorkedExample) {
  Targets(kA + u";" + kB);
  Product(kA, u"Absent", u"1033", u"8.1.0.3", 0, 2);
  Product(kB, u"Sample Product", u"1031", u"8.1.0.3");
  const auto products = installer::DiscoverInstalledProducts(run, kPackage);
  ASSERT_TRUE(products);
  const installer::ProductCandidate expected{kB, u"8.2.0.4", u"Sample Product", u"1031", u"", u"8.0.24.6,8.1.0.3,", u"8.1.0.3"};
  EXPECT_EQ(*products, std::vector<installer::ProductCandidate>{expected});
}

TEST_F(PatchFlowTest, DiscoveryKeepsAdvertisedAndDuplicateProductsInListOrder) {
  Targets(kC + u";" + kA + u";" + kC);
  Product(kA, u"A", u"1033", u"8.0.24.6", 0, 1);
  Product(kC, u"C", u"1033", u"8.0.24.6");
  const auto products = installer::DiscoverInstalledProducts(run, kPackage);
  ASSERT_TRUE(products);
  ASSERT_EQ(products->size(), 3u);
  EXPECT_EQ((*products)[0].productCode, kC);
  EXPECT_EQ((*products)[1].productCode, kA);
  EXPECT_EQ((*products)[2].productCode, kC);
}

TEST_F(PatchFlowTest, EarlyEndingsReportAndLeaveNoPackage) {
  struct Case {
    const char* name;
    std::function<void(fakes::FakePlatform&)> arrange;
    std::u16string text;
    std::uint32_t exitCode;
  };
  const std::u16string k307 = u"The service pack could not be installed because the expected Brimfold product could "
                              u"not be located on your computer.\nMake sure that you are using the correct service "
                              u"pack for the product.";
  const Case cases[] = {
      {"no target installed", [](auto&) {}, k307, 1642},
      {"list unreadable", [](auto& f) { f.installer.templates.clear(); }, u"", 110},
      {"string 900 missing", [](auto& f) { f.resources.stringBlocks.erase({57, 1033}); }, u"", 1603},
      // Steps that fail without a Windows error of their own.
      {"TMP too long for a name", fakes::SetTmpTooLongForAName, u"", 1603},
      {"write reports success but comes up short", fakes::MakeFirstWriteComeUpShort, u"", 1603},
      {"the package cannot be read back", [](auto& f) { f.files.readFailsWith = 23; }, u"", 23},  // ERROR_CRC
      // The installer opens no path in the "\\?\" form.
      {"a folder ending in a dot", [](auto& f) { f.files.finalPaths[kPackage] = u"\\\\?\\C:\\Temp.\\MSP2"; }, u"",
       206},
      {"no path of the package can be read",
       [](auto& f) {
         f.files.dosFinalPathFailsWith = 1;
         f.files.ntFinalPathFailsWith = 1;
         f.files.fullPathResult = 0;
       },
       u"", 3},
  };
  for (const Case& c : cases) {
    fakes::FakeMachine m;
    m.ShipLauncher();
    fakes::FakePlatform& f = m.fake;
    m.Targets(kA);
    c.arrange(f);
    EXPECT_EQ(m.RunWith(), c.exitCode) << c.name;
    ASSERT_EQ(f.dialogs.shown.size(), 1u) << c.name;
    // A 300 names the same code the process exits with.
    if (!c.text.empty()) {
      EXPECT_EQ(f.dialogs.shown[0].text, c.text) << c.name;
    } else {
      EXPECT_TRUE(f.dialogs.shown[0].text.ends_with(u"Error Code: " + fakes::U16(std::to_string(c.exitCode))))
          << c.name;
    }
    EXPECT_EQ(f.dialogs.shown[0].style, 0x50010u) << c.name;
    EXPECT_TRUE(f.installer.stateQueries.empty() == (c.exitCode != 1642)) << c.name;
    EXPECT_FALSE(f.files.Exists(kPackage)) << c.name;
  }
}

TEST_F(PatchFlowTest, QuietRunShowsNothingSilencesTheInstallerAndKeepsTheExitCode) {
  Targets(kA);
  Product(kA, u"Tessary", u"1033", u"8.0.24.6", 1603);
  EXPECT_EQ(Run({u"/q"}), 1603u);
  EXPECT_TRUE(fake.dialogs.shown.empty());
  EXPECT_EQ(fake.installer.uiLevels, std::vector<int>{0x202});
}

TEST_F(PatchFlowTest, NobodyCanReplaceOrDeleteThePackageWhileTheInstallerReadsIt) {
  Targets(kA);
  Product(kA, u"Tessary", u"1033", u"8.0.24.6");
  bool replaced = true;
  bool deleted = true;
  fake.installer.onConfigure = [&](const std::u16string&) {
    fake.files.nodes[u"C:\\Temp\\evil"] = FakeNode{.bytes = fakes::Bytes("evil")};
    replaced = fake.files.MoveFile(u"C:\\Temp\\evil", kPackage).ok() ||
               fake.files.ReplaceFile(kPackage, u"C:\\Temp\\evil", u"C:\\Temp\\old").ok();
    deleted = fake.files.DeleteFile(kPackage).ok();
    // Nobody but the launcher's account, SYSTEM and the Administrators may open it at all.
    EXPECT_TRUE(fake.files.nodes.at(kPackage).creatorOnly);
  };
  EXPECT_EQ(Run(), 0u);
  EXPECT_FALSE(replaced);
  EXPECT_FALSE(deleted);
  EXPECT_FALSE(fake.files.Exists(kPackage));  // released before the run deletes it
  EXPECT_EQ(fake.files.openFiles, 0);
}

// Between the writer's handle and the lock, another process swaps or rewrites what the name
// holds: the run ends with 300 and never calls the installer, and leaves what it found alone.
TEST_F(PatchFlowTest, PackageSwappedBeforeTheLockEndsTheRunWith300) {
  const std::pair<const char*, std::function<void(FakeNode&)>> swaps[] = {
      {"a folder", [](FakeNode& n) { n = FakeNode{.directory = true}; }},
      {"a file of its own", [](FakeNode& n) { n = FakeNode{.bytes = fakes::Bytes("evil"), .index = 99}; }},
      {"a link", [](FakeNode& n) { n.reparsePoint = true; }},
      // The same file, rewritten by someone its access list lets in (the administrator's own
      // unelevated processes; anyone on a volume without access lists).
      {"a byte changed", [](FakeNode& n) { n.bytes[3] ^= std::byte{1}; }},
      {"its last byte changed", [](FakeNode& n) { n.bytes.back() ^= std::byte{1}; }},
      {"cut short", [](FakeNode& n) { n.bytes.pop_back(); }},
      {"grown", [](FakeNode& n) { n.bytes.push_back(std::byte{0}); }},
      // After the lock: a process the share modes do not bind (on Windows a driver's, or
      // one on another machine sharing the volume).
      {"a byte changed under the lock", [](FakeNode& n) { n.bytes[3] ^= std::byte{1}; }},
  };
  const std::uint32_t codes[] = {2, 1006, 1006, 1006, 1006, 1006, 1006, 1006};
  for (std::size_t i = 0; i < std::size(swaps); ++i) {
    const auto& [name, swap] = swaps[i];
    fakes::FakeMachine m;
    // Larger than one block of the check, so that a change in the last is seen too.
    m.ShipLauncher(std::string(150'000, 'p'));
    m.Targets(kA);
    m.AddProduct(kA, u"Tessary", u"1033", u"8.0.24.6");
    (i + 1 == std::size(swaps) ? m.fake.files.afterLock : m.fake.files.beforeLock) =
        [&](const std::u16string& path) { swap(m.fake.files.nodes[path]); };
    EXPECT_EQ(m.RunWith(), codes[i]) << name;
    ASSERT_EQ(m.fake.dialogs.shown.size(), 1u) << name;
    EXPECT_EQ(m.fake.dialogs.shown[0].caption, u"Installation Error") << name;
    EXPECT_TRUE(m.fake.dialogs.shown[0].text.ends_with(u"Error Code: " + fakes::U16(std::to_string(codes[i])))) << name;
    EXPECT_TRUE(m.fake.installer.configureCalls.empty()) << name;
    EXPECT_TRUE(m.fake.files.Exists(kPackage)) << name;
    EXPECT_EQ(m.fake.files.openFiles, 0) << name;
  }
}

// Between the written package and the installer: a volume Windows names with no drive letter
// (RAM disks, volumes mounted in a folder), where the final path with a drive fails with 1, 3
// or 1005 by the driver, gives the installer the device path under its drive letter, or else
// the full path of the name written; a scanner that opens the new package for a moment,
// sharing it with nobody, is waited for at the lock and the removal, about a second at most;
// a file put under the package's name while the lock holds it (by a driver, or a process on
// another machine sharing the volume) is not the one removed.
TEST_F(PatchFlowTest, TheInstallerGetsAPathAndTheRunRemovesOnlyItsOwnPackage) {
  struct Case {
    const char* name;
    std::function<void(fakes::FakeMachine&)> arrange;
    std::u16string patch = kPackage;
    std::uint32_t exitCode = 0;
    bool left = false;
  };
  const auto noDriveLetter = [](std::uint32_t error, bool deviceOnDriveR, bool devicePathFails) {
    return [=](fakes::FakeMachine& m) {
      fakes::FakeFiles& files = m.fake.files;
      files.dosFinalPathFailsWith = error;
      files.ntFinalPathFailsWith = devicePathFails ? 1 : 0;
      files.ntPaths[kPackage] = u"\\Device\\Ramdisk0\\Scratch\\MSP2";
      if (deviceOnDriveR) files.dosDevices[u"R:"] = u"\\Device\\Ramdisk0";
    };
  };
  // Held when the run locks it, or when it removes it.
  const auto held = [](int refusals, bool atTheEnd) {
    return [=](fakes::FakeMachine& m) {
      fakes::FakeFiles& files = m.fake.files;
      if (!atTheEnd) files.heldByOthers[kPackage] = refusals;
      if (atTheEnd) m.fake.installer.onConfigure = [&files, refusals](auto&) { files.heldByOthers[kPackage] = refusals; };
    };
  };
  const Case cases[] = {
      {"no drive letter (1)", noDriveLetter(1, true, false), u"R:\\Scratch\\MSP2"},
      {"no drive letter (3), its device on none", noDriveLetter(3, false, false)},
      {"no drive letter (1005), no device path", noDriveLetter(1005, true, true)},
      {"held at the lock", held(3, false)},
      {"held at the removal", held(3, true)},
      // As before the waits: a lock another program holds ends the run and leaves its copy.
      {"held at the lock, for long", held(11, false), kPackage, 32, true},
      {"held at the removal, for long", held(11, true), kPackage, 0, true},
      {"another file under the name",
       [](auto& m) {
         m.fake.installer.onConfigure = [&m](auto&) {
           m.fake.files.nodes[kPackage] = FakeNode{.bytes = fakes::Bytes("theirs"), .index = 99};
         };
       },
       kPackage, 0, true},
  };
  for (const Case& c : cases) {
    fakes::FakeMachine m;
    m.ShipLauncher();
    m.Targets(kA, c.patch);
    m.AddProduct(kA, u"Tessary", u"1033", u"8.0.24.6");
    c.arrange(m);
    EXPECT_EQ(m.RunWith(), c.exitCode) << c.name;
    const auto& calls = m.fake.installer.configureCalls;
    ASSERT_EQ(calls.size(), c.exitCode == 0 ? 1u : 0u) << c.name;
    if (!calls.empty()) {
      EXPECT_EQ(calls[0].commandLine, u"PATCH=\"" + c.patch + u"\"") << c.name;
    }
    EXPECT_EQ(m.fake.files.Exists(kPackage), c.left) << c.name;
    std::uint32_t waited = 0;
    for (std::uint32_t sleep : m.fake.process.sleeps) waited += sleep;
    EXPECT_LE(waited, 1000u) << c.name;
    EXPECT_EQ(m.fake.files.openFiles, 0) << c.name;
  }
}

// The installer gets the locked file's path as the system resolves it: a junction on the way
// that is pointed elsewhere after the check leads nowhere else.
TEST_F(PatchFlowTest, TheInstallerGetsTheFinalPathOfTheCheckedFile) {
  Targets(kA, u"D:\\Real\\MSP2");
  Product(kA, u"Tessary", u"1033", u"8.0.24.6");
  fake.files.finalPaths[kPackage] = u"\\\\?\\D:\\Real\\MSP2";
  EXPECT_EQ(Run(), 0u);
  ASSERT_EQ(fake.installer.configureCalls.size(), 1u);
  EXPECT_EQ(fake.installer.configureCalls[0].commandLine, u"PATCH=\"D:\\Real\\MSP2\"");
}

// The installer opens no path in the "\\?\" form: a path that only that form reaches is none
// for it.
TEST(InstallerPathOf, OnlyAPathThatOpensWithoutThePrefix) {
  const std::u16string longName(260, u'n');
  const std::optional<std::u16string> none;
  const std::pair<std::u16string, std::optional<std::u16string>> cases[] = {
      {u"\\\\?\\C:\\Temp\\MSP2", u"C:\\Temp\\MSP2"},
      {u"\\\\?\\UNC\\server\\share\\MSP2", u"\\\\server\\share\\MSP2"},
      {u"C:\\Temp\\MSP2", u"C:\\Temp\\MSP2"},  // a full path, as written
      {u"\\\\?\\C:\\" + std::u16string(251, u'n') + u"\\MSP2", u"C:\\" + std::u16string(251, u'n') + u"\\MSP2"},
      {u"\\\\?\\C:\\" + std::u16string(252, u'n') + u"\\MSP2", none},  // 260 characters
      {u"\\\\?\\C:\\" + longName + u"\\MSP2", none},
      {u"\\\\?\\C:\\dots.\\MSP2", none},
      {u"\\\\?\\C:\\space \\MSP2", none},
      {u"C:\\dots.\\MSP2", none},
      {u"\\\\?\\Volume{0d7a2f5e-0000-0000-0000-100000000000}\\MSP2", none},
  };
  for (const auto& [final, expected] : cases) {
    std::u16string path = final;
    const bool opens = payload::InstallerPathOf(path);
    EXPECT_EQ(opens ? std::optional(path) : std::nullopt, expected) << std::string(final.begin(), final.end());
  }
}

TEST_F(PatchFlowTest, LongProductNamesAreReadWholeAndCutInTheMessage) {
  for (bool untouched : {false, true}) {
    fakes::FakeMachine m;
    m.ShipLauncher();
    fakes::FakePlatform& f = m.fake;
    f.installer.untouchedOnMoreData = untouched;
    m.Targets(kA);
    const std::u16string name = std::u16string(4999, u'n') + u"!";
    m.AddProduct(kA, name, u"1033", u"8.0.20.0");
    EXPECT_EQ(m.RunWith(), 1642u);
    EXPECT_EQ(m.state.currentProductName, name) << untouched;
    const std::u16string shown = f.dialogs.shown.at(0).text;
    EXPECT_NE(shown.find(std::u16string(513, u'n') + u" that is installed"), std::u16string::npos) << untouched;
  }
}

TEST_F(PatchFlowTest, MissingCommonProgramFilesSkipsTheRemovalOnly) {
  fake.process.narrowEnvironment.clear();
  Targets(kA);
  Product(kA, u"Tessary", u"1033", u"8.0.24.6");
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(Texts(), std::vector<std::u16string>{k301});
  EXPECT_TRUE(fake.process.removedNarrow.empty());
}

}  // namespace
