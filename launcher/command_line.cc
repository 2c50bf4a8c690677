#include "launcher/command_line.h"

#include "launcher/split_command_line.h"

#include <cstddef>
#include <utility>

namespace launcher {
namespace {

// Switches are matched with A-Z folded only, so the user's locale plays no part.
bool EqualsSwitch(const std::u16string& argument, std::u16string_view lowerSwitch) {
  if (argument.size() != lowerSwitch.size()) return false;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    char16_t c = argument[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != lowerSwitch[i]) return false;
  }
  return true;
}

// "/?" and the other ways people ask a program for help.
bool IsHelpSwitch(const std::u16string& argument) {
  for (std::u16string_view help : {u"/?", u"-?", u"/h", u"-h", u"/help"}) {
    if (EqualsSwitch(argument, help)) return true;
  }
  return false;
}

// The argument after a path switch is its path whatever it says, even another switch; a
// path switch given last leaves the path as it was. Returns the next index to look at.
std::size_t TakePath(std::vector<std::u16string>& arguments, std::size_t index,
                     std::u16string& path) {
  if (index + 1 >= arguments.size()) return index + 1;
  path = std::move(arguments[index + 1]);
  return index + 2;
}

}  // namespace

void ApplyArguments(std::vector<std::u16string> arguments, LaunchOptions& options) {
  options.quiet = false;
  options.extractRequested = false;
  options.extractPath.clear();
  options.patchListRequested = false;
  options.patchListPath.clear();
  options.logPath.clear();
  options.noRestart = false;
  options.helpRequested = false;
  options.runPatchFlow = true;

  const std::size_t count = arguments.size();
  std::size_t index = 1;
  while (index < count) {
    const std::u16string& argument = arguments[index];
    if (EqualsSwitch(argument, u"/q")) {
      options.quiet = true;
      index += 1;
    } else if (EqualsSwitch(argument, u"/e") || EqualsSwitch(argument, u"/p")) {
      const bool extract = EqualsSwitch(argument, u"/e");
      (extract ? options.extractRequested : options.patchListRequested) = true;
      options.runPatchFlow = false;
      index = TakePath(arguments, index, extract ? options.extractPath : options.patchListPath);
    } else if (EqualsSwitch(argument, u"/l")) {
      // The log goes with whatever mode runs: it chooses none.
      index = TakePath(arguments, index, options.logPath);
    } else if (EqualsSwitch(argument, u"/norestart")) {
      options.noRestart = true;
      index += 1;
    } else if (EqualsSwitch(argument, u"/i")) {
      options.runPatchFlow = false;
      options.listProductsRequested = true;
      break;  // nothing after "/i" is looked at
    } else if (IsHelpSwitch(argument)) {
      options.runPatchFlow = false;
      options.helpRequested = true;
      break;  // as after "/i"
    } else {
      index += 1;  // unknown arguments pass in silence
    }
  }
}

bool ParseCommandLine(platform::Process& process, LaunchOptions& options) {
  ApplyArguments(SplitCommandLine(process.CommandLine()), options);
  return true;
}

}  // namespace launcher
