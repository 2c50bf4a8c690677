#include "payload/embedded_package.h"

namespace payload {

platform::ResourceBytes LockEmbeddedPackage(platform::Resources& resources,
                                            platform::ModuleHandle module) {
  return resources.FindResourceBytes(module, u"IDR_MSP", u"MSP");
}

}  // namespace payload
