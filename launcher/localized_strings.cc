#include "launcher/localized_strings.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace launcher {
namespace {

constexpr std::uint16_t kEnglishUnitedStates = 1033;

// Windows picks string-table languages by the thread's UI language, not by its locale, so
// the launcher names the language itself to report each product in that product's language.
std::array<std::uint16_t, 4> LanguagesToTry(platform::Process& process) {
  const auto threadLanguage = static_cast<std::uint16_t>(process.GetThreadLocale() & 0xFFFF);
  return {threadLanguage, process.GetUserDefaultUILanguage(), process.GetSystemDefaultUILanguage(),
          kEnglishUnitedStates};
}

std::optional<std::u16string> FindString(Context& context, MessageId id, std::uint16_t language) {
  if (id > 0xFFFF) return std::nullopt;
  const auto block = static_cast<std::uint16_t>(id / 16 + 1);
  const platform::ResourceBytes found = context.platform.resources.FindStringBlockBytes(
      context.state.moduleInstance, block, language);
  if (found.state != platform::ResourceState::kFound) return std::nullopt;
  return ReadStringBlockEntry(found.bytes, id % 16);
}

// Takes at most capacity - 1 characters of string `id` of `language` into `text`; false
// when that table has no such string or an empty one.
bool TakeString(Context& context, MessageId id, std::uint16_t language, std::u16string& text,
                int capacity) {
  auto found = FindString(context, id, language);
  if (!found || found->empty()) return false;
  // An entry ends at its count, or earlier at a zero unit.
  const std::size_t end = std::min(found->find(u'\0'), found->size());
  text = found->substr(0, std::min<std::size_t>(end, static_cast<std::size_t>(capacity - 1)));
  return true;
}

}  // namespace

std::optional<std::u16string> ReadStringBlockEntry(std::span<const std::byte> block,
                                                   unsigned index) {
  if (index > 15) return std::nullopt;
  std::size_t offset = 0;
  for (unsigned entry = 0;; ++entry) {
    if (offset > block.size() || block.size() - offset < 2) return std::nullopt;
    std::uint16_t count = 0;
    std::memcpy(&count, block.data() + offset, 2);
    offset += 2;
    const std::size_t bytes = std::size_t{count} * 2;
    if (block.size() - offset < bytes) return std::nullopt;
    if (entry == index) {
      std::u16string text(count, u'\0');
      std::memcpy(text.data(), block.data() + offset, bytes);
      return text;
    }
    offset += bytes;
  }
}

int LoadLocalizedString(Context& context, MessageId id, std::u16string& text, int capacity) {
  text.clear();
  if (capacity <= 0) return 0;
  for (std::uint16_t language : LanguagesToTry(context.platform.process)) {
    if (TakeString(context, id, language, text, capacity)) return static_cast<int>(text.size());
  }
  return 0;
}

int LoadEnglishString(Context& context, MessageId id, std::u16string& text, int capacity) {
  text.clear();
  if (capacity <= 0) return 0;
  TakeString(context, id, kEnglishUnitedStates, text, capacity);
  return static_cast<int>(text.size());
}

}  // namespace launcher
