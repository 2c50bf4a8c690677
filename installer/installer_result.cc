#include "installer/installer_result.h"

#include "platform/types.h"

namespace installer {

PatchOutcome MapInstallerResult(std::uint32_t result) {
  switch (result) {
    case platform::kErrorSuccess:
    case platform::kErrorSuccessRebootRequired:
    case platform::kErrorSuccessRebootInitiated:
      return {true, result};
    default:
      return {false, result};
  }
}

}  // namespace installer
