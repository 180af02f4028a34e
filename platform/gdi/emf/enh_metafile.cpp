// The metafile object: validated, owned bytes.
#include "enh_metafile.h"

#include <fstream>
#include <new>

#include "winerror.h"

namespace tw::emf {

std::shared_ptr<EnhMetaFileData> EnhMetaFileData::FromBytes(std::span<const BYTE> bytes, DWORD* error) {
  HeaderInfo info;
  if (!ReadHeader(bytes, info)) {
    if (error) *error = ERROR_INVALID_DATA;
    return nullptr;
  }
  try {
    auto data = std::make_shared<EnhMetaFileData>();
    data->bytes_.assign(bytes.begin(), bytes.begin() + info.dataSize);
    data->info_ = info;
    return data;
  } catch (const std::bad_alloc&) {
    if (error) *error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
}

std::shared_ptr<EnhMetaFileData> EnhMetaFileData::FromOwned(std::vector<BYTE>&& bytes, DWORD* error) {
  HeaderInfo info;
  if (!ReadHeader(bytes, info)) {
    if (error) *error = ERROR_INVALID_DATA;
    return nullptr;
  }
  auto data = std::make_shared<EnhMetaFileData>();
  bytes.resize(info.dataSize);
  data->bytes_ = std::move(bytes);
  data->info_ = info;
  return data;
}

DWORD WriteMetafileFile(const std::filesystem::path& path, std::span<const BYTE> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    std::error_code ec;
    return std::filesystem::is_directory(path.parent_path(), ec) ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
  }
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) {
    out.close();
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return ERROR_WRITE_FAULT;
  }
  return ERROR_SUCCESS;
}

std::u16string EnhMetaFileData::Description() const {
  if (info_.descriptionChars == 0) return {};
  std::u16string text(info_.descriptionChars, u'\0');
  std::memcpy(text.data(), bytes_.data() + info_.descriptionOffset, size_t(info_.descriptionChars) * 2);
  return text;
}

}  // namespace tw::emf
