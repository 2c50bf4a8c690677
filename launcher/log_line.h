#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/process.h"

namespace launcher {

// `time` as ISO 8601 in UTC: 2026-12-08T04:10:00Z.
std::u16string IsoTime(const platform::UtcTime& time);

// One outcome as a line of the log, in UTF-8 ending in CR LF: the time, the message id, the
// product code ("-" when empty) and the text, separated by tabs. Line feeds, carriage
// returns and tabs inside a field are written as \n, \r and \t, so that one outcome stays
// one line of four fields.
std::string OutcomeLine(const platform::UtcTime& time, std::u16string_view id,
                        std::u16string_view productCode, std::u16string_view text);

// The last line of a run: the time, "exit" and the process exit code.
std::string ExitLine(const platform::UtcTime& time, std::uint32_t exitCode);

}  // namespace launcher
