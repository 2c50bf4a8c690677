#pragma once

#include <cstdint>
#include <string>

#include "launcher/localized_strings.h"
#include "launcher/process_state.h"
#include "run/run.h"

namespace launcher {

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
ComposedMessage ComposeMessage(Context& context, MessageId id, std::uint32_t error,
                               MessageLanguage language = MessageLanguage::kLocalized);

// Logs `id` in English when a log is open, then shows its box unless the run is quiet.
// `error` is the code a message with one shows: that of the step it reports.
void ReportMessage(Context& context, MessageId id, std::uint32_t error = platform::kErrorSuccess);

// Reports a step that failed with `error` (a Windows error code, 0 when the step has none):
// records it in the exit status and shows `id` with the same code the process will exit with.
void ReportFailure(Context& context, MessageId id, std::uint32_t error);

// A box of the launcher's own, in English and without a message id ("List of Products", the
// switches): logged with "-" for its id, then shown, also in a quiet run, unless the run is
// unattended.
void ReportPlainBox(Context& context, const std::u16string& caption, const std::u16string& text);

// The launcher's side of the reporting that payload/ and installer/ are handed.
class LauncherReporter final : public run::Reporter {
 public:
  explicit LauncherReporter(Context& context) : context_(context) {}
  void ReportMessage(MessageId id, std::uint32_t error) override;
  void ReportFailure(MessageId id, std::uint32_t error) override;
  void RecordOutcome(std::uint32_t exitCode) override;
  void RecordRefusal(std::uint32_t code) override;
  void SetCurrentProduct(const std::u16string& name, const std::u16string& code) override;
  void LogNote(const std::u16string& productCode, std::u16string_view text) override;
  std::u16string LoadString(MessageId id) override;

 private:
  Context& context_;
};

}  // namespace launcher
