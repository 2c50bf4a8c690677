#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "platform/resources.h"
#include "platform/types.h"

namespace payload {

// Finds a resource and hands back its bytes where they lie in the loaded image, without a
// copy. Nothing when it is missing, empty, or cannot be loaded or locked.
std::optional<std::span<const std::byte>> LockResourceBytes(platform::Resources& resources,
                                                            platform::ModuleHandle module,
                                                            const std::u16string& name,
                                                            const std::u16string& type);

// The embedded patch package.
std::optional<std::span<const std::byte>> LockEmbeddedPackage(platform::Resources& resources,
                                                              platform::ModuleHandle module);

}  // namespace payload
