#include "payload/extract_payload.h"

#include <vector>

#include "launcher/decimal_text.h"
#include "payload/embedded_package.h"
#include "payload/file_writer.h"
#include "payload/temp_name.h"

namespace payload {
namespace {

constexpr std::uint32_t kTempPathCapacity = 1024;
// Bounds the search for a name beside an existing file.
constexpr int kMaxSideNameTries = 1000;

// Asks the platform for its temporary directory; nothing when it cannot be had.
std::optional<std::u16string> TempDirectory(platform::Files& files) {
  std::vector<char16_t> buffer(kTempPathCapacity, u'\0');
  const std::uint32_t length = files.GetTempPath(buffer.data(), kTempPathCapacity);
  if (length == 0 || length > kTempPathCapacity) return std::nullopt;
  return std::u16string(buffer.data());
}

// A temporary name is only tested when it is made; another process may take it before the
// file is created, so a taken name sends us on to the next number.
bool ExtractToTempName(launcher::Context& context, std::u16string& path) {
  platform::Platform& p = context.platform;
  const auto directory = TempDirectory(p.files);
  if (!directory) return false;

  std::optional<std::span<const std::byte>> package;
  for (std::uint32_t attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
    auto name = MakeTempName(p.files, p.process, context.state.tempNames, *directory, u"MSP");
    if (!name) return false;
    path = std::move(*name);
    if (!package) {
      package = LockEmbeddedPackage(p.resources, context.state.moduleInstance);
      if (!package) return false;
    }
    switch (WriteNewFile(p.files, p.process, path, *package)) {
      case WriteResult::kWritten: return true;
      case WriteResult::kFailed: return false;
      case WriteResult::kNameTaken: break;
    }
  }
  return false;
}

// An existing file at `path` is replaced only once the whole package is written beside it,
// so a failed write leaves it as it was.
bool ExtractToGivenPath(launcher::Context& context, const std::u16string& path) {
  platform::Platform& p = context.platform;
  const auto package = LockEmbeddedPackage(p.resources, context.state.moduleInstance);
  if (!package) return false;

  for (int n = 1; n <= kMaxSideNameTries; ++n) {
    const std::u16string side = path + u".part" + launcher::DecimalText(static_cast<std::uint64_t>(n));
    switch (WriteNewFile(p.files, p.process, side, *package)) {
      case WriteResult::kNameTaken: continue;
      case WriteResult::kFailed: return false;
      case WriteResult::kWritten: break;
    }
    if (p.files.ReplaceFile(side, path)) return true;
    const std::uint32_t error = p.process.GetLastError();
    p.files.DeleteFile(side);
    p.process.SetLastError(error);
    return false;
  }
  return false;
}

}  // namespace

bool ExtractPayload(launcher::Context& context, std::u16string& path) {
  return path.empty() ? ExtractToTempName(context, path) : ExtractToGivenPath(context, path);
}

}  // namespace payload
