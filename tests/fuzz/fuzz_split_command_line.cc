#include "fuzz_input.h"
#include "launcher/split_command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string line = Utf16FromBytes(data, size);
  const auto arguments = launcher::SplitCommandLine(line);
  // The program is always there, and splitting only ever drops characters.
  if (arguments.empty()) __builtin_trap();
  std::size_t total = 0;
  for (const auto& argument : arguments) total += argument.size();
  if (total > line.size()) __builtin_trap();
  // Only quotes can keep a blank inside one argument.
  if (line.find(u'"') == std::u16string::npos) {
    for (const auto& argument : arguments) {
      if (argument.find_first_of(u" \t") != std::u16string::npos) __builtin_trap();
    }
  }
  return 0;
}
