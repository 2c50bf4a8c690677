#include "launcher/outcome_log.h"

#include "launcher/log_line.h"
#include "launcher/process_state.h"

namespace launcher {

void OutcomeLog::Open(platform::Files& files, const std::u16string& path) {
  file_.reset();
  if (path.empty()) return;
  const platform::Result<platform::FileHandle> opened = files.OpenForAppending(path);
  if (!opened.ok()) return;  // not reported: see the class comment
  files_ = &files;
  file_.emplace(files, opened.value());
}

void OutcomeLog::Append(const std::string& line) {
  if (!file_) return;
  // A failed or short write is dropped: see the class comment.
  (void)files_->WriteFile(file_->get(), line.data(), static_cast<std::uint32_t>(line.size()));
}

void OpenOutcomeLog(Context& context) {
  const std::u16string& path = context.state.launchOptions.logPath;
  if (path.empty()) return;
  context.state.outcomeLog.Open(context.platform.files, path);
}

void LogOutcome(Context& context, std::u16string_view id, std::u16string_view productCode,
                std::u16string_view text) {
  OutcomeLog& log = context.state.outcomeLog;
  if (!log.IsOpen()) return;
  log.Append(OutcomeLine(context.platform.process.GetSystemTime(), id, productCode, text));
}

void LogExit(Context& context, std::uint32_t exitCode) {
  OutcomeLog& log = context.state.outcomeLog;
  if (!log.IsOpen()) return;
  log.Append(ExitLine(context.platform.process.GetSystemTime(), exitCode));
  log.Close();
}

}  // namespace launcher
