#include "fuzz_input.h"
#include "installer/registration_fixup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string code = Utf16FromBytes(data, size);
  const auto packed = installer::PackProductCode(code);
  const auto hostKey = installer::HostKeyPath(code);
  if (packed.has_value() != installer::IsBracedGuid(code)) __builtin_trap();
  if (packed && packed->size() != 32) __builtin_trap();
  if (hostKey.has_value() != packed.has_value()) __builtin_trap();
  return 0;
}
