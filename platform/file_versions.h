#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The two file-version words of a module's fixed version information.
struct FixedFileVersion {
  std::uint32_t fileVersionMS = 0;
  std::uint32_t fileVersionLS = 0;
};

class FileVersions {
 public:
  virtual ~FileVersions() = default;

  // GetFileVersionInfoSizeW; 0 when there is no file or no version resource.
  virtual std::uint32_t GetFileVersionInfoSize(const std::u16string& path) = 0;
  // GetFileVersionInfoW into a block of `size` bytes.
  virtual bool GetFileVersionInfo(const std::u16string& path, std::uint32_t size, void* block) = 0;
  // VerQueryValueW of the root block "\"; false when the block has no fixed information.
  virtual bool QueryFixedFileVersion(const void* block, FixedFileVersion* version) = 0;
};

}  // namespace platform
