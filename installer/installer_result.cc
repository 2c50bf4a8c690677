#include "installer/installer_result.h"

#include "platform/types.h"

namespace installer {

PatchOutcome MapInstallerResult(std::uint32_t result) {
  switch (result) {
    case platform::kErrorSuccess:
    case platform::kErrorSuccessRebootRequired:
    case platform::kErrorSuccessRebootInitiated:
      return {true, result};
    // ERROR_INSTALL_SUSPEND (1604), which ForceReboot gives: the installation stopped half-way
    // and resumes only after the next restart, so the patch is not on the product yet.
    default:
      return {false, result};
  }
}

}  // namespace installer
