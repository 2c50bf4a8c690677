#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "launcher/process_state.h"
#include "run/run.h"

namespace launcher {

using MessageId = run::MessageId;

// Entry `index` (0..15) of a raw string-table block: sixteen counted UTF-16 strings.
// Nothing when the block is too short to hold it.
std::optional<std::u16string> ReadStringBlockEntry(std::span<const std::byte> block,
                                                   unsigned index);

// Loads string `id` in the language of the thread locale, else in the user's and the
// system's default UI languages, else in English (1033). Takes at most capacity - 1
// characters; returns how many were taken, 0 (and an empty `text`) when no table has it.
int LoadLocalizedString(Context& context, MessageId id, std::u16string& text, int capacity);

// Like LoadLocalizedString, but from the English (1033) table only, whatever the locale.
int LoadEnglishString(Context& context, MessageId id, std::u16string& text, int capacity);

}  // namespace launcher
