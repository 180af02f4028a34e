// Internal: the data behind an HENHMETAFILE. The metafile owns a private,
// mutable copy of its bytes: enumeration callbacks may edit records in place
// (as on Windows), so the bytes are never shared with the caller.
#pragma once
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "emf_reader.h"

namespace tw::emf {

class EnhMetaFileData {
 public:
  // Validates and copies `bytes` (only the header's nBytes of them). Null
  // with *error set (ERROR_INVALID_DATA, ERROR_NOT_ENOUGH_MEMORY) on failure.
  static std::shared_ptr<EnhMetaFileData> FromBytes(std::span<const BYTE> bytes, DWORD* error);
  // The same for bytes the caller gives up (the recorder's output).
  static std::shared_ptr<EnhMetaFileData> FromOwned(std::vector<BYTE>&& bytes, DWORD* error);

  std::span<BYTE> Bytes() { return bytes_; }
  std::span<const BYTE> Bytes() const { return bytes_; }
  // The header as read when the metafile was made (full 108-byte form).
  const HeaderInfo& Header() const { return info_; }
  // The description (application and title, NUL-separated), empty if none.
  std::u16string Description() const;

 private:
  std::vector<BYTE> bytes_;
  HeaderInfo info_;
};

// Writes a metafile file (replacing it). 0, or ERROR_PATH_NOT_FOUND (no such
// folder), ERROR_ACCESS_DENIED (cannot be created), ERROR_WRITE_FAULT (write
// failed: nothing half-written is left behind).
DWORD WriteMetafileFile(const std::filesystem::path& path, std::span<const BYTE> bytes);

// The metafile behind a handle; null with ERROR_INVALID_HANDLE when the
// handle names no metafile.
std::shared_ptr<EnhMetaFileData> LookupEnhMetaFile(HENHMETAFILE handle);
// A new handle for a metafile (the recorder's CloseEnhMetaFile uses it);
// null with the table's error when it cannot be made.
HENHMETAFILE InsertEnhMetaFile(std::shared_ptr<EnhMetaFileData> data);

}  // namespace tw::emf
