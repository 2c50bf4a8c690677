// How the default run's product discovery scales with the length of the target list: the
// real DiscoverInstalledProducts over lists of braced GUIDs, most of them not installed.

#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <unordered_map>

#include "fakes/fake_platform.h"
#include "fakes/string_tables.h"
#include "installer/patch_targets.h"
#include "launcher/process_state.h"
#include "launcher/report_message.h"
#include "installer/product_discovery.h"
#include "platform/types.h"

namespace {

// The shared fake installer records every query it answers, a copy of each code, which
// would grow without end over the iterations and be timed with the scan. This one only
// answers, with one hash lookup per call.
class LeanInstaller final : public platform::Installer {
 public:
  std::u16string targets;
  struct Product {
    std::int32_t state;
    std::map<std::u16string, std::u16string> info;
  };
  std::unordered_map<std::u16string, Product> products;

  std::uint32_t GetSummaryInformation(const std::u16string&, platform::MsiHandle* handle) override {
    *handle = 1;
    return 0;
  }
  std::uint32_t SummaryInfoGetProperty(platform::MsiHandle, std::uint32_t, char16_t* buffer,
                                       std::uint32_t* size) override {
    return Copy(targets, buffer, size);
  }
  std::uint32_t CloseHandle(platform::MsiHandle) override { return 0; }
  std::int32_t QueryProductState(const std::u16string& code) override {
    auto it = products.find(code);
    return it == products.end() ? -1 : it->second.state;  // INSTALLSTATE_UNKNOWN
  }
  std::uint32_t GetProductInfo(const std::u16string& code, const std::u16string& attribute,
                               char16_t* buffer, std::uint32_t* size) override {
    auto product = products.find(code);
    if (product == products.end()) return 1605;  // ERROR_UNKNOWN_PRODUCT
    auto value = product->second.info.find(attribute);
    if (value == product->second.info.end()) return 1608;  // ERROR_UNKNOWN_PROPERTY
    return Copy(value->second, buffer, size);
  }
  std::uint32_t ConfigureProductEx(const std::u16string&, int, int, const std::u16string&) override {
    return 0;
  }
  int SetInternalUI(int) override { return platform::kInstallUiLevelNoChange; }
  std::uint32_t EnableLog(std::uint32_t, const std::u16string&, std::uint32_t) override { return 0; }

 private:
  static std::uint32_t Copy(const std::u16string& text, char16_t* buffer, std::uint32_t* size) {
    const bool fits = text.size() < *size;
    if (fits) {
      text.copy(buffer, text.size());
      buffer[text.size()] = u'\0';
    }
    *size = static_cast<std::uint32_t>(text.size());
    return fits ? 0 : platform::kErrorMoreData;
  }
};

std::u16string RandomGuid(std::mt19937_64& random) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string guid = u"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  for (char16_t& c : guid) {
    if (c == u'X') c = kHex[random() & 15];
  }
  return guid;
}

// A launcher carrying a small package and its strings, on a machine where about three
// codes in a thousand of its target list are installed (a few of them only advertised).
struct Machine {
  fakes::FakePlatform fake;
  LeanInstaller installer;
  platform::Platform platform{fake.resources, fake.files,   installer,         fake.dialogs,
                              fake.process,   fake.registry, fake.fileVersions};
  std::size_t installedCount = 0;

  explicit Machine(std::size_t codes) {
    fake.files.nodes[u"C:\\Temp\\"] = fakes::FakeNode{true, false, {}};
    fake.resources.AddPackage(fakes::Bytes("a small stand-in for the patch package"));
    fakes::AddShippedStrings(fake.resources);
    std::mt19937_64 random(codes);
    installer.targets.reserve(codes * 39);
    for (std::size_t i = 0; i < codes; ++i) {
      const std::u16string code = RandomGuid(random);
      if (i != 0) installer.targets += u';';
      installer.targets += code;
      if (i % 333 == 100) {
        installer.products[code] = {i % 999 == 100 ? 1 : 5,
                                    {{u"ProductName", u"Tessary"},
                                     {u"Language", u"1031"},
                                     {u"VersionString", u"8.1.0.3"}}};
        ++installedCount;
      }
    }
  }
};

void BM_DiscoverInstalledProducts(benchmark::State& state) {
  Machine machine(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    launcher::ProcessState process;
    launcher::Context context{machine.platform, process};
    launcher::LauncherReporter reporter{context};
    run::Run run{machine.platform, process.moduleInstance, process.tempNames, reporter};
    const auto found = installer::DiscoverInstalledProducts(run, u"C:\\Temp\\MSP1");
    // A scan that stopped early would be timed as a fast one.
    if (!found || found->size() != machine.installedCount) {
      state.SkipWithError("discovery did not find every installed target");
      break;
    }
    benchmark::DoNotOptimize(found->data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["installed"] = static_cast<double>(machine.installedCount);
}

// Only the first part of the above: reading the list out of the package's summary
// information. The difference between the two is the scan of the codes.
void BM_ReadPatchTargets(benchmark::State& state) {
  Machine machine(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::u16string targets;
    if (!installer::ReadPatchTargets(machine.fake.files, machine.installer, u"C:\\Temp\\MSP1",
                                     targets) ||
        targets.size() != machine.installer.targets.size()) {
      state.SkipWithError("the target list was not read whole");
      break;
    }
    benchmark::DoNotOptimize(targets.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_DiscoverInstalledProducts)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadPatchTargets)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // Every large buffer from a heap that keeps its pages: a fresh mapping per buffer would
  // time the kernel's page faults (very costly on some virtual machines, and the same per
  // byte for any scan that reads the list at all) instead of the scan. Fixed thresholds
  // also keep glibc from moving them after the first large free, which made one size's
  // timing depend on which size ran before it.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
