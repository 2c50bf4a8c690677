#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "platform/resources.h"
#include "platform/types.h"

namespace payload {

enum class ResourceState { kFound, kMissing, kUnusable };

// A resource's bytes where they lie in the loaded image, without a copy; or why there are
// none: no such resource, or one that is empty or cannot be loaded or locked.
struct LockedResource {
  ResourceState state;
  std::span<const std::byte> bytes;
};

LockedResource LockResourceBytes(platform::Resources& resources, platform::ModuleHandle module,
                                 const std::u16string& name, const std::u16string& type);

// The embedded patch package; nothing when it cannot be had.
std::optional<std::span<const std::byte>> LockEmbeddedPackage(platform::Resources& resources,
                                                              platform::ModuleHandle module);

}  // namespace payload
