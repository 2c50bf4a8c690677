#include "fuzz_input.h"
#include "installer/four_part_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = Utf16FromBytes(data, size);
  const installer::FourPartVersion version = installer::ParseFourPartVersion(text);
  // Commas and dots are the same separator.
  std::u16string commas = text;
  for (char16_t& c : commas) {
    if (c == u'.') c = u',';
  }
  if (!(installer::ParseFourPartVersion(commas) == version)) __builtin_trap();
  installer::ConvertNumber(text);
  return 0;
}
