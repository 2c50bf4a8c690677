#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/types.h"

namespace platform {

enum class ResourceState { kFound, kMissing, kUnusable };

// A resource's bytes where they lie in the loaded image, without a copy; or why there are
// none: no such resource, or one that is empty or cannot be loaded or locked, with the
// Windows error of the call that failed (kErrorSuccess for an empty resource or a failed
// lock, which report none).
struct ResourceBytes {
  ResourceState state;
  std::span<const std::byte> bytes;
  std::uint32_t error = kErrorSuccess;
};

// The executable's own resources: each lookup finds, sizes, loads and locks one resource.
// Resource memory belongs to the module image: it is never freed or closed.
class Resources {
 public:
  virtual ~Resources() = default;

  // A resource by name and type; a name "#206" stands for the numeric id 206.
  virtual ResourceBytes FindResourceBytes(ModuleHandle module, const std::u16string& name,
                                          const std::u16string& type) = 0;
  // The string-table block `block` (ids 16*(block-1) .. 16*block-1) of exactly `language`.
  virtual ResourceBytes FindStringBlockBytes(ModuleHandle module, std::uint16_t block,
                                             std::uint16_t language) = 0;
};

}  // namespace platform
