#include "fuzz_input.h"
#include "payload/patch_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string name = payload::PatchListNameFromTargets(Utf16FromBytes(data, size));
  // Always "patchlist" + at most four characters + ".txt".
  const std::u16string head = u"patchlist";
  const std::u16string tail = u".txt";
  if (name.size() < head.size() + tail.size() || name.size() > head.size() + 4 + tail.size()) {
    __builtin_trap();
  }
  if (name.compare(0, head.size(), head) != 0) __builtin_trap();
  if (name.compare(name.size() - tail.size(), tail.size(), tail) != 0) __builtin_trap();
  return 0;
}
