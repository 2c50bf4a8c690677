#include "payload/patch_list.h"

namespace payload {

// Not built yet: a "/p" run writes nothing and says so in its exit code.
bool WritePatchList(launcher::Context& context, std::u16string& /*path*/) {
  context.state.exitStatus.RecordFailure(platform::kErrorInstallFailure);
  return false;
}

}  // namespace payload
