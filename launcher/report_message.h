#pragma once

#include <cstdint>
#include <string>

#include "launcher/localized_strings.h"
#include "launcher/process_state.h"

namespace launcher {

// Message ids of the string tables.
inline constexpr MessageId kMessageInstallError = 300;
inline constexpr MessageId kMessageInstalled = 301;
inline constexpr MessageId kMessageUpToDate = 306;
inline constexpr MessageId kMessageProductNotFound = 307;
inline constexpr MessageId kMessageWrongVersion = 308;
inline constexpr MessageId kMessageBadCommandLine = 309;
inline constexpr MessageId kMessageNoPatchList = 310;
inline constexpr MessageId kTargetVersion = 700;
inline constexpr MessageId kCandidateVersions = 900;

// Box styles: on top and in front, with the error, information or no icon.
inline constexpr std::uint32_t kStylePlain =
    platform::kMbOk | platform::kMbTopmost | platform::kMbSetForeground;
inline constexpr std::uint32_t kStyleError = kStylePlain | platform::kMbIconError;
inline constexpr std::uint32_t kStyleInformation = kStylePlain | platform::kMbIconInformation;

// The longest product name a message prints; a longer one is cut.
inline constexpr std::size_t kMaxPrintedNameLength = 513;

// The text, caption and style a message id is shown with.
struct ComposedMessage {
  std::u16string text;
  std::u16string caption;
  std::uint32_t style;
};

// The tables a message is taken from: the localized ones, as LoadLocalizedString picks them,
// or the English one (the log is in English whatever language the box is in).
enum class MessageLanguage { kLocalized, kEnglish };

// Builds the box for `id`: its text with its argument filled in (the error code for 300,
// the current product name for 301, 306 and 308), its caption and its style.
ComposedMessage ComposeMessage(Context& context, MessageId id, std::uint32_t lastError,
                               MessageLanguage language = MessageLanguage::kLocalized);

// Logs `id` in English when a log is open, then shows its box unless the run is quiet.
// Reads the thread's last error first, so the code of the step that failed is the one shown.
void ReportMessage(Context& context, MessageId id);

// Reports a step that failed with `error` (a Windows error code, 0 when the step has none):
// records it in the exit status and shows `id` with the same code the process will exit
// with, rather than whatever the thread's last error holds by then.
void ReportFailure(Context& context, MessageId id, std::uint32_t error);

}  // namespace launcher
