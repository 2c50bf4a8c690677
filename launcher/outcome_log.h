#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace launcher {

struct Context;

// The log file that "/l" names, held open for appending for the whole run.
//
// Writing the log is the one thing in the launcher whose failure is deliberately never
// reported and never changes the run: a log that cannot be opened stays closed, a line that
// cannot be written is dropped, and the boxes and the exit code are those of a run without
// "/l". A deployment tool must not see a service pack fail over its own record-keeping.
class OutcomeLog {
 public:
  // Opens `path` for appending, creating it when absent; else the log stays closed.
  void Open(platform::Files& files, const std::u16string& path);
  bool IsOpen() const { return file_.has_value(); }
  // Appends `line` with one write at the end of the file, whatever others wrote meanwhile.
  void Append(const std::string& line);
  void Close() { file_.reset(); }

 private:
  platform::Files* files_ = nullptr;
  std::optional<platform::ScopedFile> file_;
};

// Opens the log of the command line's "/l", when there is one.
void OpenOutcomeLog(Context& context);
// One line for an outcome the user is shown (or would be but for "/q"); an empty product
// code is written as "-". Nothing when no log is open.
void LogOutcome(Context& context, std::u16string_view id, std::u16string_view productCode,
                std::u16string_view text);
// The run's last line, with the process exit code; the log is closed after it.
void LogExit(Context& context, std::uint32_t exitCode);

}  // namespace launcher
