#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/types.h"
#include "resources/message_ids.h"

namespace run {

// A string's id in the launcher's tables (resources/message_ids.h).
using MessageId = std::uint32_t;

// What the operations of a run need of the launcher that runs them: telling the user, and
// adding to the exit code. Declared here, below payload/ and installer/, and implemented by
// the launcher on top, so that those folders never reach up into it.
class Reporter {
 public:
  virtual ~Reporter() = default;

  // Logs message `id` and shows its box unless the run is quiet. `error` is the code that a
  // message with one ("Error Code: %d") shows.
  virtual void ReportMessage(MessageId id, std::uint32_t error = platform::kErrorSuccess) = 0;
  // A step failed with `error` (a Windows error, kErrorSuccess when it has none): records it
  // in the exit status and reports `id` with the code the process will exit with.
  virtual void ReportFailure(MessageId id, std::uint32_t error) = 0;
  // Adds an outcome to the exit status by its code (0, 3010, 1641, 1642 or a failure's).
  virtual void RecordOutcome(std::uint32_t exitCode) = 0;
  // Adds the installer's refusal of a patch: a failure whatever its code, 1642 included.
  virtual void RecordRefusal(std::uint32_t code) = 0;
  // The product the next messages are about: its name fills their "%s", its code goes into
  // the log. Empty for messages about the run as a whole.
  virtual void SetCurrentProduct(const std::u16string& name, const std::u16string& code) = 0;
  // A line for the log alone, about the product `productCode` (empty: about the run).
  virtual void LogNote(const std::u16string& productCode, std::u16string_view text) = 0;
  // String `id` in the language the next box would be in, as a box takes it; empty when no
  // table has it.
  virtual std::u16string LoadString(MessageId id) = 0;
};

// The naming state of temporary files, carried across calls for the life of the process.
struct TempNameState {
  std::uint32_t tempNameCounter = 1;
  std::size_t lastPrefixLength = 0;
};

// What an operation of a run works with: the platform, the process-wide state it touches
// (owned by the launcher), and the launcher's reporting.
struct Run {
  platform::Platform& platform;
  platform::ModuleHandle moduleInstance;
  TempNameState& tempNames;
  Reporter& reporter;
};

}  // namespace run
