#include "fuzz_input.h"
#include "launcher/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto arguments = SplitAtNull(Utf16FromBytes(data, size));
  launcher::LaunchOptions options;
  launcher::ApplyArguments(arguments, options);
  // A scan that ends at "/i" never runs the patch flow; nothing else can set both.
  if (options.listProductsRequested && options.runPatchFlow) __builtin_trap();
  if ((options.extractRequested || options.patchListRequested) && options.runPatchFlow) __builtin_trap();
  return 0;
}
