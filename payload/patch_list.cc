#include "payload/patch_list.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "installer/patch_targets.h"
#include "payload/extracted_package.h"
#include "platform/resources.h"
#include "platform/scoped_handle.h"
#include "platform/types.h"
#include "run/decimal_text.h"

namespace payload {
namespace {

using platform::ScopedFile;

constexpr std::uint32_t kFirstTextId = IDR_FIRST_PATCH_INFO;
constexpr std::string_view kSeparator = "*****\r\n";
constexpr std::string_view kLineEnd = "\r\n";

std::span<const std::byte> AsBytes(std::string_view text) {
  return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

// "#206" names the numeric resource id 206.
std::u16string ResourceName(std::uint32_t id) { return u"#" + run::DecimalText(id); }

// The error of a write that did not write everything: its Windows error, or, for a write that
// reported success with fewer bytes, none of its own.
std::optional<std::uint32_t> WriteWhole(platform::Platform& p, platform::FileHandle file,
                                        std::span<const std::byte> bytes) {
  const auto size = static_cast<std::uint32_t>(bytes.size());
  const platform::Result<std::uint32_t> written = p.files.WriteFile(file, bytes.data(), size);
  if (!written.ok()) return written.error();
  if (written.value() != size) return platform::kErrorInstallFailure;
  return std::nullopt;
}

// The name when none was given: derived from the patch's target list, or "patchlist.txt"
// when the package cannot be extracted or its list read. The temporary copy the list is read
// from goes with `package`.
std::u16string DefaultName(run::Run& run) {
  platform::Platform& p = run.platform;
  ExtractedPackage package(p.files);
  if (!package.Extract(run).ok()) return u"patchlist.txt";
  std::u16string targets;
  if (!installer::ReadPatchTargets(p.files, p.installer, package.path(), targets)) return u"patchlist.txt";
  return PatchListNameFromTargets(targets);
}

}  // namespace

std::u16string PatchListNameFromTargets(const std::u16string& targets) {
  std::u16string_view working = targets;
  const std::size_t colon = working.find(u':');
  if (colon != std::u16string_view::npos) working.remove_prefix(colon + 1);
  const std::size_t dash = working.find(u'-');
  const std::u16string_view code =
      dash == std::u16string_view::npos ? working.substr(0, 4) : working.substr(dash + 1, 4);
  return u"patchlist" + std::u16string(code) + u".txt";
}

bool WritePatchList(run::Run& run, std::u16string& path) {
  platform::Platform& p = run.platform;
  run::Reporter& reporter = run.reporter;
  if (path.empty()) path = DefaultName(run);

  const platform::Result<platform::FileHandle> opened = p.files.OpenOrCreateFile(path);
  if (!opened.ok()) {
    reporter.ReportFailure(IDS_NO_PATCH_LIST, opened.error());
    return false;
  }
  ScopedFile file(p.files, opened.value());
  // Without the old end there is no telling where the blocks would land, nor how to take
  // back a block that fails half-way, so nothing is written.
  const platform::Result<std::uint64_t> oldEnd = p.files.SeekToEnd(file.get());
  if (!oldEnd.ok()) {
    reporter.ReportFailure(IDS_INSTALL_ERROR, oldEnd.error());
    return true;
  }

  for (std::uint32_t id = kFirstTextId;; ++id) {
    const platform::ResourceBytes text =
        p.resources.FindResourceBytes(run.moduleInstance, ResourceName(id), u"TXT");
    if (text.state == platform::ResourceState::kMissing) {
      if (id == kFirstTextId) {
        reporter.ReportFailure(IDS_NO_PATCH_LIST, platform::kErrorInstallFailure);
      }
      return true;
    }
    if (text.state == platform::ResourceState::kUnusable) {
      // The blocks of the texts before it are whole and stay.
      reporter.ReportFailure(IDS_INSTALL_ERROR, text.error);
      return true;
    }
    std::optional<std::uint32_t> error = WriteWhole(p, file.get(), AsBytes(kSeparator));
    if (!error) error = WriteWhole(p, file.get(), text.bytes);
    if (!error) error = WriteWhole(p, file.get(), AsBytes(kLineEnd));
    if (error) {
      // A block cut short would run into the next run's blocks and spoil the file for its
      // readers: take back everything this run wrote. Should that fail too, there is
      // nothing more to try.
      if (p.files.SeekTo(file.get(), oldEnd.value()).ok()) (void)p.files.SetEndOfFile(file.get());
      reporter.ReportFailure(IDS_INSTALL_ERROR, *error);
      return true;
    }
  }
}

}  // namespace payload
