#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/fake_platform.h"
#include "launcher/process_state.h"
#include "launcher/report_message.h"
#include "run/run.h"

namespace fakes {

// Where the first temporary copy of the package lands.
inline const std::u16string kPackagePath = u"C:\\Temp\\MSP2";

// A fake machine with the launcher's process-wide state and the run that the launcher hands
// to payload/ and installer/; a fixture derives from it to have all of them by name.
struct FakeMachine {
  FakePlatform fake;
  launcher::ProcessState state;
  launcher::Context context{fake.platform, state};
  launcher::LauncherReporter reporter{context};
  run::Run run{fake.platform, state.moduleInstance, state.tempNames, reporter};

  // A launcher carrying `package` and the shipped strings, on a machine with a temporary
  // folder.
  void ShipLauncher(std::string_view package = "package");
  // The patch's target list, as the installer reads it from the extracted package.
  void Targets(const std::u16string& list, const std::u16string& packagePath = kPackagePath);
  // A product the installer knows (installed unless `productState` says otherwise), and what
  // it answers when asked to patch it.
  void AddProduct(const std::u16string& code, const std::u16string& name,
                  const std::u16string& language, const std::u16string& version,
                  std::uint32_t configureResult = 0, std::int32_t productState = 5);
  // Runs the launcher with `arguments` after the program's name; the exit code.
  std::uint32_t RunWith(std::vector<std::u16string> arguments = {});
  // The texts of the boxes shown so far, in order.
  std::vector<std::u16string> Texts() const;
};

}  // namespace fakes
