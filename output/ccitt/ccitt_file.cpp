// The CALS writer (code 11: the CALS header, then Group 4 data) and the raw
// CCITT writer (codes 12 to 15: the coded rows alone), both coded by the TIFF
// library's EncodeCcittImage.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "output/ccitt/cals_header.h"
#include "output/common/page_dib.h"
#include "output/twfile/tw_writers.h"
#include "tw_tiff_api.h"

namespace {

using tw::output::PageDib;
using tw::output::UniqueFile;

constexpr CTWFile::ShapeErrors kCalsErrors{27, 28, 29};
constexpr int kCalsNoEncoder = 30;
constexpr int kCalsNotWritten = 31;
constexpr CTWFile::ShapeErrors kRawErrors{32, 33, 34};
constexpr int kRawNoEncoder = 35;
constexpr int kRawNotCreated = 36;
constexpr int kRawNotEncoded = 37;

// The rows the coder asks for: top first, (width + 7) / 8 bytes, a set bit black.
struct RowSource {
  const PageDib* dib;
  std::size_t bytes;
  bool invert;
};

int WINAPI CopyRow(BYTE* row, DWORD rowNumber, LPVOID context) {
  const auto& source = *static_cast<const RowSource*>(context);
  if (rowNumber >= static_cast<DWORD>(source.dib->Height())) return 3;
  const BYTE* from = source.dib->Row(static_cast<LONG>(rowNumber));
  if (source.invert) {
    std::transform(from, from + source.bytes, row, [](BYTE b) { return static_cast<BYTE>(~b); });
  } else {
    std::memcpy(row, from, source.bytes);
  }
  return 0;
}

BOOL Encode(EncodeCcittImage_PROC encode, HANDLE file, const PageDib& dib, DWORD mode) {
  RowSource source{&dib, (static_cast<std::size_t>(dib.Width()) + 7) / 8, tw::output::OneBitRowsNeedInverting(dib)};
  return encode(file, static_cast<DWORD>(dib.Width()), static_cast<DWORD>(dib.Height()), mode, &source, CopyRow);
}

HANDLE CreateAnew(const WCHAR* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The coding mode of a raw CCITT code.
DWORD RawMode(DWORD code) {
  switch (code) {
    case 13: return TW_CCITT_GROUP3 | TW_CCITT_NO_EOL;
    case 14: return TW_CCITT_GROUP3 | TW_CCITT_2D;
    case 15: return TW_CCITT_GROUP4;
    default: return TW_CCITT_GROUP3;
  }
}

}  // namespace

BOOL CTWCALSFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWCALSFile::SaveFile: %s", szFileName ? szFileName : u"");
  return SaveRenderedPage(hData, szFileName, bEMF, kCalsErrors,
                          [this](HGLOBAL hDIB, const WCHAR* name) { return SavePageDIB(hDIB, name); });
}

BOOL CTWCALSFile::SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName) {
  PageDib dib(hDIB, {1});
  if (!dib.ok()) return Fail(kCalsErrors.noDib, __FILE__, __LINE__);
  tw::output::CodecLibrary library;
  if (!library.Load(tw::output::Codec::Tiff, m_DevMode, m_pJob)) return FALSE;
  auto encode = library.Get<EncodeCcittImage_PROC>("EncodeCcittImage");
  if (!encode) {
    library.Free();
    return Fail(kCalsNoEncoder, __FILE__, __LINE__);
  }
  const tw::ccitt::CalsHeader header =
      tw::ccitt::MakeCalsHeader(static_cast<DWORD>(dib.Width()), static_cast<DWORD>(dib.Height()),
                                dib.Header().biXPelsPerMeter);
  UniqueFile file(CreateAnew(szFileName));
  const bool created = file.ok();
  bool written = created && tw::output::WriteAll(file.get(), header.data(), header.size()) &&
                 Encode(encode, file.get(), dib, TW_CCITT_GROUP4);
  written = file.Close() && written;
  if (!written) {
    // Without its image data the header is no CALS file.
    if (created) DeleteFileW(szFileName);
    return ReportWriteFailure(u"Cannot write CALS file: ", szFileName, kCalsNotWritten, __FILE__, __LINE__);
  }
  return TRUE;
}

BOOL CTWRawFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWRawFile::SaveFile: %s", szFileName ? szFileName : u"");
  return SaveRenderedPage(hData, szFileName, bEMF, kRawErrors,
                          [this](HGLOBAL hDIB, const WCHAR* name) { return SavePageDIB(hDIB, name); });
}

BOOL CTWRawFile::SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName) {
  PageDib dib(hDIB, {1});
  if (!dib.ok()) return Fail(kRawErrors.noDib, __FILE__, __LINE__);
  tw::output::CodecLibrary library;
  if (!library.Load(tw::output::Codec::Tiff, m_DevMode, m_pJob)) return FALSE;
  auto encode = library.Get<EncodeCcittImage_PROC>("EncodeCcittImage");
  if (!encode) {
    library.Free();
    return Fail(kRawNoEncoder, __FILE__, __LINE__);
  }
  UniqueFile file(CreateAnew(szFileName));
  if (!file.ok()) {
    library.Free();
    return Fail(kRawNotCreated, __FILE__, __LINE__);
  }
  const DWORD mode = RawMode(tw::output::EffectiveFormatCode(m_DevMode, m_pJob));
  const bool encoded = Encode(encode, file.get(), dib, mode);
  if (!file.Close() || !encoded) {
    DeleteFileW(szFileName);
    return Fail(kRawNotEncoded, __FILE__, __LINE__);
  }
  return TRUE;
}
