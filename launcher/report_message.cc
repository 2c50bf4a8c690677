#include "launcher/report_message.h"

#include "launcher/outcome_log.h"
#include "run/decimal_text.h"

namespace launcher {
namespace {

constexpr int kStringCapacity = 256;

enum class Argument { kNone, kErrorCode, kProductName };

struct MessageRow {
  MessageId id;
  Argument argument;
  MessageId caption;
  std::uint32_t style;
};

constexpr MessageRow kMessages[] = {
    {IDS_INSTALL_ERROR, Argument::kErrorCode, IDS_CAPTION_ERROR, kStyleError},
    {IDS_INSTALLED, Argument::kProductName, IDS_CAPTION_SUCCESS, kStyleInformation},
    {IDS_UP_TO_DATE, Argument::kProductName, IDS_CAPTION_UNNECESSARY, kStyleError},
    {IDS_PRODUCT_NOT_FOUND, Argument::kNone, IDS_CAPTION_ERROR, kStyleError},
    {IDS_WRONG_VERSION, Argument::kProductName, IDS_CAPTION_ERROR, kStyleError},
    {IDS_BAD_COMMAND_LINE, Argument::kNone, IDS_CAPTION_ERROR, kStyleError},
    {IDS_NO_PATCH_LIST, Argument::kNone, IDS_CAPTION_ERROR, kStyleError},
};

const MessageRow* FindRow(MessageId id) {
  for (const MessageRow& row : kMessages) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

std::u16string SignedDecimal(std::uint32_t code) {
  // Printed as the signed number the error code is when read as an int.
  const auto value = static_cast<std::int32_t>(code);
  const std::int64_t wide = value;
  const std::u16string digits = run::DecimalText(static_cast<std::uint64_t>(wide < 0 ? -wide : wide));
  return value < 0 ? u"-" + digits : digits;
}

// A name too long for the room a message has is cut, never split inside a surrogate pair.
std::u16string FitName(const std::u16string& name) {
  if (name.size() <= kMaxPrintedNameLength) return name;
  std::size_t length = kMaxPrintedNameLength;
  const char16_t last = name[length - 1];
  if (last >= 0xD800 && last <= 0xDBFF) --length;
  return name.substr(0, length);
}

// Fills the format's one placeholder: "%d" or "%s" as the row says, "%%" as '%'.
std::u16string Format(const std::u16string& format, const std::u16string& argument) {
  std::u16string text;
  bool used = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size()) {
      const char16_t kind = format[i + 1];
      if (kind == u'%') {
        text += u'%';
        ++i;
        continue;
      }
      if ((kind == u'd' || kind == u's') && !used) {
        text += argument;
        used = true;
        ++i;
        continue;
      }
    }
    text += format[i];
  }
  return text;
}

}  // namespace

ComposedMessage ComposeMessage(Context& context, MessageId id, std::uint32_t error,
                               MessageLanguage language) {
  const auto load = language == MessageLanguage::kEnglish ? LoadEnglishString : LoadLocalizedString;
  ComposedMessage message{u"", u"Error", kStylePlain};
  std::u16string format;
  load(context, id, format, kStringCapacity);
  const MessageRow* row = FindRow(id);
  if (row == nullptr) {
    message.text = format;
    return message;
  }
  std::u16string argument;
  if (row->argument == Argument::kErrorCode) argument = SignedDecimal(error);
  if (row->argument == Argument::kProductName) argument = FitName(context.state.currentProductName);
  message.text = row->argument == Argument::kNone ? Format(format, u"") : Format(format, argument);
  load(context, row->caption, message.caption, kStringCapacity);
  message.style = row->style;
  return message;
}

void ReportFailure(Context& context, MessageId id, std::uint32_t error) {
  const std::uint32_t code = ExitStatus::FailureCode(error);
  context.state.exitStatus.Record(code);
  ReportMessage(context, id, code);
}

void ReportMessage(Context& context, MessageId id, std::uint32_t error) {
  const bool quiet = context.state.launchOptions.quiet;
  const bool logging = context.state.outcomeLog.IsOpen();
  if (quiet && !logging) return;
  if (logging) {
    // Before the box, which may stay up for long: the line is there even if nobody answers.
    const ComposedMessage english = ComposeMessage(context, id, error, MessageLanguage::kEnglish);
    LogOutcome(context, run::DecimalText(id), context.state.currentProductCode, english.text);
  }
  if (quiet) return;
  const ComposedMessage message = ComposeMessage(context, id, error);
  context.platform.dialogs.MessageBox(message.text, message.caption, message.style);
}

void ReportPlainBox(Context& context, const std::u16string& caption, const std::u16string& text) {
  LogOutcome(context, u"-", u"", text);
  if (context.state.unattended) return;
  context.platform.dialogs.MessageBox(text, caption, kStylePlain);
}

void LauncherReporter::ReportMessage(MessageId id, std::uint32_t error) {
  launcher::ReportMessage(context_, id, error);
}

void LauncherReporter::ReportFailure(MessageId id, std::uint32_t error) {
  launcher::ReportFailure(context_, id, error);
}

void LauncherReporter::LogNote(const std::u16string& productCode, std::u16string_view text) {
  LogOutcome(context_, u"-", productCode, text);
}

void LauncherReporter::RecordOutcome(std::uint32_t exitCode) {
  context_.state.exitStatus.Record(exitCode);
}

void LauncherReporter::RecordRefusal(std::uint32_t code) {
  context_.state.exitStatus.RecordRefusal(code);
}

void LauncherReporter::SetCurrentProduct(const std::u16string& name, const std::u16string& code) {
  context_.state.currentProductName = name;
  context_.state.currentProductCode = code;
}

std::u16string LauncherReporter::LoadString(MessageId id) {
  std::u16string text;
  LoadLocalizedString(context_, id, text, kStringCapacity);
  return text;
}

}  // namespace launcher
