// The metafile object: validated, owned bytes.
#include "enh_metafile.h"

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

std::u16string EnhMetaFileData::Description() const {
  if (info_.descriptionChars == 0) return {};
  std::u16string text(info_.descriptionChars, u'\0');
  std::memcpy(text.data(), bytes_.data() + info_.descriptionOffset, size_t(info_.descriptionChars) * 2);
  return text;
}

}  // namespace tw::emf
