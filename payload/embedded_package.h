#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/process.h"
#include "platform/resources.h"
#include "platform/types.h"

namespace payload {

enum class ResourceState { kFound, kMissing, kUnusable };

// A resource's bytes where they lie in the loaded image, without a copy; or why there are
// none: no such resource, or one that is empty or cannot be loaded or locked, with the
// Windows error of the call that failed (kErrorSuccess for an empty resource or a failed
// lock, which report none).
struct LockedResource {
  ResourceState state;
  std::span<const std::byte> bytes;
  std::uint32_t error = platform::kErrorSuccess;
};

LockedResource LockResourceBytes(platform::Resources& resources, platform::Process& process,
                                 platform::ModuleHandle module, const std::u16string& name,
                                 const std::u16string& type);

// The embedded patch package.
LockedResource LockEmbeddedPackage(platform::Resources& resources, platform::Process& process,
                                   platform::ModuleHandle module);

}  // namespace payload
