#include <span>

#include "launcher/localized_strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::byte> block(reinterpret_cast<const std::byte*>(data), size);
  for (unsigned index = 0; index <= 16; ++index) {
    const auto entry = launcher::ReadStringBlockEntry(block, index);
    if (entry && entry->size() * 2 + 2 > size) __builtin_trap();
  }
  return 0;
}
