// The metafile handle functions: SetEnhMetaFileBits, GetEnhMetaFileBits,
// GetEnhMetaFileHeader, GetEnhMetaFileDescriptionW,
// GetEnhMetaFilePaletteEntries, GetEnhMetaFileW, CopyEnhMetaFileW,
// DeleteEnhMetaFile.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "../objects.h"
#include "enh_metafile.h"
#include "tw/pathmap.h"
#include "winerror.h"

namespace tw::emf {
namespace {

// An HENHMETAFILE in the GDI handle table.
class EnhMetaFileObject : public tw::gdi::GdiObject {
 public:
  explicit EnhMetaFileObject(std::shared_ptr<EnhMetaFileData> data) : data_(std::move(data)) {}
  DWORD Type() const override { return OBJ_ENHMETAFILE; }
  const std::shared_ptr<EnhMetaFileData>& Data() const { return data_; }

 private:
  std::shared_ptr<EnhMetaFileData> data_;
};

// The header GetEnhMetaFileHeader hands out. A file with the full header
// gets its header record as stored (with its description); an older form
// gets the 108-byte header with szlMicrometers made from szlMillimeters, so
// callers can always read every field.
std::vector<BYTE> headerBytes(const EnhMetaFileData& data) {
  const HeaderInfo& info = data.Header();
  if (info.hasMicrometers) {
    auto bytes = data.Bytes();
    return {bytes.begin(), bytes.begin() + info.storedSize};
  }
  ENHMETAHEADER h = info.header;
  h.nSize = sizeof(ENHMETAHEADER);
  h.nDescription = h.offDescription = 0;
  std::vector<BYTE> out(sizeof(h));
  std::memcpy(out.data(), &h, sizeof(h));
  return out;
}

DWORD readFile(const std::filesystem::path& path, std::vector<BYTE>& bytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return std::filesystem::exists(path, ec) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return ERROR_ACCESS_DENIED;
  try {
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return in.bad() ? ERROR_READ_FAULT : ERROR_SUCCESS;
}

}  // namespace

std::shared_ptr<EnhMetaFileData> LookupEnhMetaFile(HENHMETAFILE handle) {
  auto object = tw::gdi::LookupObjectAs<EnhMetaFileObject>(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return object->Data();
}

HENHMETAFILE InsertEnhMetaFile(std::shared_ptr<EnhMetaFileData> data) {
  return static_cast<HENHMETAFILE>(tw::gdi::InsertObject(std::make_shared<EnhMetaFileObject>(std::move(data))));
}

}  // namespace tw::emf

using namespace tw::emf;

HENHMETAFILE WINAPI SetEnhMetaFileBits(UINT nSize, CONST BYTE* pb) {
  if (!pb || nSize == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DWORD error = 0;
  auto data = EnhMetaFileData::FromBytes({pb, nSize}, &error);
  if (!data) {
    SetLastError(error);
    return nullptr;
  }
  return InsertEnhMetaFile(std::move(data));
}

UINT WINAPI GetEnhMetaFileBits(HENHMETAFILE hEMF, UINT nSize, LPBYTE lpData) {
  auto data = LookupEnhMetaFile(hEMF);
  if (!data) return 0;
  auto bytes = data->Bytes();
  if (!lpData) return static_cast<UINT>(bytes.size());
  UINT n = static_cast<UINT>(std::min<size_t>(nSize, bytes.size()));
  std::memcpy(lpData, bytes.data(), n);
  return n;
}

UINT WINAPI GetEnhMetaFileHeader(HENHMETAFILE hemf, UINT nSize, LPENHMETAHEADER lpEnhMetaHeader) {
  auto data = LookupEnhMetaFile(hemf);
  if (!data) return 0;
  std::vector<BYTE> header = headerBytes(*data);
  if (!lpEnhMetaHeader) return static_cast<UINT>(header.size());
  if (nSize < ENHMETAHEADER_SIZE_BASE) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  UINT n = static_cast<UINT>(std::min<size_t>(nSize, header.size()));
  std::memcpy(lpEnhMetaHeader, header.data(), n);
  return n;
}

UINT WINAPI GetEnhMetaFileDescriptionW(HENHMETAFILE hemf, UINT cchBuffer, LPWSTR lpDescription) {
  auto data = LookupEnhMetaFile(hemf);
  if (!data) return GDI_ERROR;
  std::u16string text = data->Description();
  if (!lpDescription) return static_cast<UINT>(text.size());
  UINT n = static_cast<UINT>(std::min<size_t>(cchBuffer, text.size()));
  std::memcpy(lpDescription, text.data(), size_t(n) * sizeof(WCHAR));
  return n;
}

UINT WINAPI GetEnhMetaFilePaletteEntries(HENHMETAFILE hemf, UINT nNumEntries, LPPALETTEENTRY lpPaletteEntries) {
  auto data = LookupEnhMetaFile(hemf);
  if (!data) return GDI_ERROR;
  // The palette rides in the EMR_EOF record.
  RecordReader reader(data->Bytes());
  BYTE* record;
  DWORD size;
  while (reader.Next(record, size) == RecordReader::Status::Record) {
    RecordView view(record, size);
    if (view.Type() != EMR_EOF) continue;
    auto* eof = view.As<EMREOF>();
    if (!eof || eof->nPalEntries == 0) return 0;
    bool ok = true;
    auto entries = view.Array<PALETTEENTRY>(eof->offPalEntries, eof->nPalEntries, ok);
    if (!ok) return 0;
    if (!lpPaletteEntries) return static_cast<UINT>(entries.size());
    UINT n = static_cast<UINT>(std::min<size_t>(nNumEntries, entries.size()));
    std::memcpy(lpPaletteEntries, entries.data(), size_t(n) * sizeof(PALETTEENTRY));
    return n;
  }
  return 0;
}

HENHMETAFILE WINAPI GetEnhMetaFileW(LPCWSTR lpName) {
  if (!lpName || !*lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::filesystem::path host;
  if (DWORD e = tw::path::ToHost(lpName, host)) {
    SetLastError(e);
    return nullptr;
  }
  std::vector<BYTE> bytes;
  if (DWORD e = readFile(host, bytes)) {
    SetLastError(e);
    return nullptr;
  }
  if (bytes.empty()) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return SetEnhMetaFileBits(static_cast<UINT>(std::min<size_t>(bytes.size(), UINT32_MAX)), bytes.data());
}

HENHMETAFILE WINAPI CopyEnhMetaFileW(HENHMETAFILE hEnh, LPCWSTR lpFileName) {
  auto data = LookupEnhMetaFile(hEnh);
  if (!data) return nullptr;
  auto bytes = data->Bytes();
  if (lpFileName) {
    std::filesystem::path host;
    if (DWORD e = tw::path::ToHost(lpFileName, host)) {
      SetLastError(e);
      return nullptr;
    }
    if (DWORD e = WriteMetafileFile(host, bytes)) {
      SetLastError(e);
      return nullptr;
    }
  }
  DWORD error = 0;
  auto copy = EnhMetaFileData::FromBytes(bytes, &error);
  if (!copy) {
    SetLastError(error);
    return nullptr;
  }
  return InsertEnhMetaFile(std::move(copy));
}

BOOL WINAPI DeleteEnhMetaFile(HENHMETAFILE hmf) {
  if (!LookupEnhMetaFile(hmf)) return FALSE;
  return tw::gdi::RemoveObject(hmf) ? TRUE : FALSE;
}
