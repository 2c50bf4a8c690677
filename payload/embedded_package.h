#pragma once

#include "platform/resources.h"
#include "platform/types.h"

namespace payload {

// The embedded patch package.
platform::ResourceBytes LockEmbeddedPackage(platform::Resources& resources,
                                            platform::ModuleHandle module);

}  // namespace payload
