#include "fuzz_input.h"
#include "installer/product_discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string list = Utf16FromBytes(data, size);
  std::size_t covered = 0;
  installer::ForEachTargetCode(list, [&](const std::u16string& code) {
    // Every code is a non-empty piece of the list, in order, without a separator.
    if (code.empty() || code.find(u';') != std::u16string::npos) __builtin_trap();
    if (list.compare(covered, code.size(), code) != 0) __builtin_trap();
    covered += code.size() + 1;
  });
  return 0;
}
