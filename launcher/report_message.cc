#include "launcher/report_message.h"

#include "launcher/decimal_text.h"
#include "launcher/keep_last_error.h"
#include "launcher/outcome_log.h"

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
    {kMessageInstallError, Argument::kErrorCode, 311, kStyleError},
    {kMessageInstalled, Argument::kProductName, 312, kStyleInformation},
    {kMessageUpToDate, Argument::kProductName, 313, kStyleError},
    {kMessageProductNotFound, Argument::kNone, 311, kStyleError},
    {kMessageWrongVersion, Argument::kProductName, 311, kStyleError},
    {kMessageBadCommandLine, Argument::kNone, 311, kStyleError},
    {kMessageNoPatchList, Argument::kNone, 311, kStyleError},
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
  const std::u16string digits = DecimalText(static_cast<std::uint64_t>(wide < 0 ? -wide : wide));
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

ComposedMessage ComposeMessage(Context& context, MessageId id, std::uint32_t lastError,
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
  if (row->argument == Argument::kErrorCode) argument = SignedDecimal(lastError);
  if (row->argument == Argument::kProductName) argument = FitName(context.state.currentProductName);
  message.text = row->argument == Argument::kNone ? Format(format, u"") : Format(format, argument);
  load(context, row->caption, message.caption, kStringCapacity);
  message.style = row->style;
  return message;
}

void ReportFailure(Context& context, MessageId id, std::uint32_t error) {
  const std::uint32_t code = ExitStatus::FailureCode(error);
  context.state.exitStatus.Record(code);
  context.platform.process.SetLastError(code);
  ReportMessage(context, id);
}

void ReportMessage(Context& context, MessageId id) {
  const bool quiet = context.state.launchOptions.quiet;
  const bool logging = context.state.outcomeLog.IsOpen();
  if (quiet && !logging) return;
  platform::Process& process = context.platform.process;
  const std::uint32_t lastError = process.GetLastError();
  if (logging) {
    // Before the box, which may stay up for long: the line is there even if nobody answers.
    // The box is then composed as it would be without a log.
    KeepLastError keep(process);
    const ComposedMessage english = ComposeMessage(context, id, lastError, MessageLanguage::kEnglish);
    LogOutcome(context, DecimalText(id), context.state.currentProductCode, english.text);
  }
  if (quiet) return;
  const ComposedMessage message = ComposeMessage(context, id, lastError);
  context.platform.dialogs.MessageBox(message.text, message.caption, message.style);
}

}  // namespace launcher
