#include "payload/temp_name.h"

#include <algorithm>

#include "run/decimal_text.h"
#include "platform/types.h"

namespace payload {

bool Exists(platform::Files& files, const std::u16string& path) {
  return files.GetFileAttributes(path).ok();
}

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

std::u16string ChooseTempDirectory(platform::Files& files, platform::Process& process,
                                   const std::u16string& directory) {
  // SYSTEM's own folder, which other accounts cannot create files in, unlike SYSTEM's TMP.
  if (process.RunsAsLocalSystem()) {
    char16_t system[platform::kMaxPath + 1];
    const platform::Result<std::uint32_t> length = files.GetTempPath2(system, platform::kMaxPath + 1);
    if (length.ok() && length.value() <= platform::kMaxPath) return std::u16string(system, length.value());
  }
  if (auto tmp = process.GetEnvironmentVariable(u"TMP")) {
    if (Exists(files, *tmp)) return *tmp;
    if (tmp->find(u'"') != std::u16string::npos) {
      std::u16string unquoted = *tmp;
      std::erase(unquoted, u'"');
      if (Exists(files, unquoted)) return unquoted;
    }
  }
  if (!directory.empty() && Exists(files, directory)) return directory;
  if (Exists(files, u"\\")) return u"\\";
  return u".";
}

std::optional<std::u16string> MakeTempName(platform::Files& files, platform::Process& process,
                                           run::TempNameState& state, const std::u16string& directory,
                                           const std::u16string& prefix) {
  std::u16string base = ChooseTempDirectory(files, process, directory);
  // Room for a separator, ten digits and the terminator must fit in a path; a name that
  // does not fit is refused rather than cut to something in another directory.
  if (base.size() + prefix.size() + 12 > kMaxTempNameLength) return std::nullopt;
  if (base.empty() || (base.back() != u'\\' && base.back() != u'/')) base += u'\\';
  return MakeTempNameIn(files, state, base, prefix);
}

std::optional<std::u16string> MakeTempNameIn(platform::Files& files, run::TempNameState& state,
                                             const std::u16string& folder,
                                             const std::u16string& prefix) {
  const std::u16string base = folder + prefix;
  if (state.lastPrefixLength < prefix.size()) state.tempNameCounter = 1;
  state.lastPrefixLength = prefix.size();
  const std::uint32_t start = state.tempNameCounter;

  for (;;) {
    ++state.tempNameCounter;
    if (state.tempNameCounter - start > kMaxTempNameTries) return std::nullopt;
    std::u16string candidate = base + run::DecimalText(state.tempNameCounter);
    const platform::Result<std::uint32_t> attributes = files.GetFileAttributes(candidate);
    if (attributes.ok()) continue;
    // A name whose attributes may not even be read is likely someone else's file.
    if (attributes.error() == platform::kErrorAccessDenied) continue;
    return candidate;
  }
}

}  // namespace payload
