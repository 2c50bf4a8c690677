#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/process.h"
#include "run/run.h"

namespace payload {

// Longest name a temporary file may have, terminator included.
inline constexpr std::size_t kMaxTempNameLength = platform::kMaxPath;
// Most numbers tried in one call.
inline constexpr std::uint32_t kMaxTempNameTries = 0x7FFF;

// Whether the attribute lookup finds something (a file, a folder, a link) at `path`.
bool Exists(platform::Files& files, const std::u16string& path);

// Whether two names are the same to the file system, A-Z folded only (its upper-case table
// does so for the names the launcher makes and the devices the system names).
bool SameIgnoringCase(std::u16string_view a, std::u16string_view b);

// Picks the directory for temporary names. As LocalSystem, the one GetTempPath2W names
// where Windows has that call; otherwise TMP as it is, TMP without its quotes, `directory`,
// the drive root, or the current directory, the first that exists.
std::u16string ChooseTempDirectory(platform::Files& files, platform::Process& process,
                                   const std::u16string& directory);

// A name "<dir>\<prefix><number>" that was not in use when it was tested, or nothing when
// the numbers ran out or the name would be too long for a path.
std::optional<std::u16string> MakeTempName(platform::Files& files, platform::Process& process,
                                           run::TempNameState& state, const std::u16string& directory,
                                           const std::u16string& prefix);

// The same numbering in a folder of the caller's: "<folder><prefix><number>", with `folder`
// taken as it is (ending in a separator, a drive such as "C:", or empty for the current
// folder), or nothing when the numbers ran out. The length is left to the file system.
std::optional<std::u16string> MakeTempNameIn(platform::Files& files, run::TempNameState& state,
                                             const std::u16string& folder,
                                             const std::u16string& prefix);

}  // namespace payload
