#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// Splits a command line as Windows' CommandLineToArgvW does: element 0 is the program,
// read to the next quote when it starts with one, else to the first blank; then blanks
// (space, tab) separate arguments, double quotes group blanks into one, and backslashes
// escape a quote as that function counts them. Done here rather than through shell32,
// whose loading costs more than the launcher's whole extraction.
std::vector<std::u16string> SplitCommandLine(std::u16string_view line);

}  // namespace launcher
