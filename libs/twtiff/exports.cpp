// The exports of TwTiff.dll. Each one checks its arguments, runs the
// operation and turns anything thrown into the thread's error: nothing
// crosses the module boundary but results.
#include <new>
#include <string_view>

#include "ccitt.h"
#include "cisco.h"
#include "dib_tiff.h"
#include "tiff_errors.h"
#include "tiff_file.h"
#include "tw/modulekit.h"
#include "tw_tiff_api.h"

namespace {

using twtiff::Fail;
using twtiff::TiffFile;

template <class R, class Body>
R Guarded(R failure, Body&& body) {
  twtiff::BeginOperation();
  try {
    return body();
  } catch (const std::bad_alloc&) {
    Fail(TW_TIFF_ERROR_MEMORY, "an allocation failed");
  } catch (...) {
    Fail(TW_TIFF_ERROR_ENCODE, "unexpected internal failure");
  }
  return failure;
}

std::u16string_view Text(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

// Runs `op` on the handle's object; `failure` for an unknown handle.
template <class R, class Op>
R WithFile(HTWTIFF tiff, R failure, Op&& op) {
  return Guarded(failure, [&]() -> R {
    TiffFile* file = TiffFile::Find(tiff);
    return file ? op(*file) : failure;
  });
}

twtiff::RowSource CallerRows(TW_TIFF_ROW_PROC proc, LPVOID context) {
  return [proc, context](BYTE* row, std::uint32_t r) { return proc(row, r, context); };
}

}  // namespace

TW_EXPORT HTWTIFF WINAPI OpenTiffFileW(LPCWSTR fileName, int mode) {
  return Guarded<HTWTIFF>(nullptr, [&] { return TiffFile::Register(TiffFile::OpenFile(Text(fileName), mode)); });
}

TW_EXPORT HTWTIFF WINAPI OpenTiffInMemory(HGLOBAL block, DWORD size, int mode) {
  return Guarded<HTWTIFF>(nullptr, [&] { return TiffFile::Register(TiffFile::OpenBlock(block, size, mode)); });
}

TW_EXPORT int WINAPI DefineTiffImage(HTWTIFF tiff) {
  return WithFile(tiff, -1, [](TiffFile& f) { return f.Define(); });
}

TW_EXPORT BOOL WINAPI DefineTiffImageInfo(HTWTIFF tiff, int image, WORD tag, WORD fieldType, DWORD value) {
  return WithFile<BOOL>(tiff, FALSE, [&](TiffFile& f) { return f.SetValue(image, tag, fieldType, value); });
}

TW_EXPORT BOOL WINAPI DefineTiffImageInfoBuffer(HTWTIFF tiff, int image, WORD tag, LPCVOID values, WORD fieldType,
                                                DWORD count) {
  return WithFile<BOOL>(tiff, FALSE, [&](TiffFile& f) { return f.SetValues(image, tag, values, fieldType, count); });
}

TW_EXPORT BOOL WINAPI EncodeTiffImage(HTWTIFF tiff, int image, LPVOID context, TW_TIFF_ROW_PROC rowProc) {
  return WithFile<BOOL>(tiff, FALSE, [&](TiffFile& f) -> BOOL {
    if (!rowProc) return Fail(TW_TIFF_ERROR_ARGUMENT, "no row function");
    return f.Encode(image, CallerRows(rowProc, context));
  });
}

TW_EXPORT BOOL WINAPI CloseTiffFile(HTWTIFF tiff) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    std::unique_ptr<TiffFile> file = TiffFile::Unregister(tiff);
    return file && file->Close();
  });
}

TW_EXPORT BOOL WINAPI SaveDIBInTiffFileW(LPCWSTR fileName, HGLOBAL dib, int scheme, DWORD reserved) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (reserved != 0) return Fail(TW_TIFF_ERROR_ARGUMENT, "reserved argument %u", reserved);
    return twtiff::SaveDibInTiff(Text(fileName), dib, scheme);
  });
}

TW_EXPORT BOOL WINAPI SaveDIBInTiffFile(LPCSTR fileName, HGLOBAL dib, int scheme, DWORD reserved) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (reserved != 0) return Fail(TW_TIFF_ERROR_ARGUMENT, "reserved argument %u", reserved);
    return twtiff::SaveDibInTiff(tw::codec::FromAnsi(fileName), dib, scheme);
  });
}

TW_EXPORT BOOL WINAPI GetTiffFileInfo(HTWTIFF tiff, TW_TIFF_FILE_INFO* info) {
  return WithFile<BOOL>(tiff, FALSE, [&](TiffFile& f) -> BOOL {
    if (!info) return Fail(TW_TIFF_ERROR_ARGUMENT, "no information block");
    return f.Info(*info);
  });
}

TW_EXPORT BOOL WINAPI GetTiffImage(HTWTIFF tiff, int image) {
  return WithFile<BOOL>(tiff, FALSE, [&](TiffFile& f) { return f.Select(image); });
}

TW_EXPORT BOOL WINAPI UpdatePageNumbersW(LPCWSTR fileName, DWORD pageCount) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    std::unique_ptr<TiffFile> file = TiffFile::OpenFile(Text(fileName), 2);
    if (!file) return FALSE;
    bool ok = file->UpdatePageNumbers(pageCount);
    if (!ok) {
      twtiff::KeepError keep;
      file->Close();
      return FALSE;
    }
    return file->Close();
  });
}

TW_EXPORT BOOL WINAPI UpdatePageNumbersInMemory(HTWTIFF tiff, DWORD pageCount) {
  return WithFile<BOOL>(tiff, FALSE, [&](TiffFile& f) { return f.UpdatePageNumbers(pageCount); });
}

TW_EXPORT BOOL WINAPI SaveTiffForCiscoFormatW(LPCWSTR fileName, HGLOBAL dib) {
  return Guarded<BOOL>(FALSE, [&] { return twtiff::SaveDibInTiff(Text(fileName), dib, twtiff::kSchemeCisco); });
}

TW_EXPORT BOOL WINAPI ConvertTiffToCiscoFormatW(LPCWSTR fileName) {
  return Guarded<BOOL>(FALSE, [&] { return twtiff::ConvertToCisco(Text(fileName)); });
}

TW_EXPORT int WINAPI TiffError(void) { return twtiff::LastError(); }

TW_EXPORT void WINAPI SetTiffError(int code) { twtiff::SetLastTiffError(code); }

TW_EXPORT int WINAPI TiffErrorString(LPSTR buffer, int code) { return buffer ? twtiff::ErrorText(buffer, code) : 0; }

TW_EXPORT BOOL WINAPI DropTiffImage(HTWTIFF tiff, int image) {
  return WithFile<BOOL>(tiff, FALSE, [&](TiffFile& f) { return f.Drop(image); });
}

TW_EXPORT BOOL WINAPI MoveLastImageFast(HTWTIFF tiff, int position, DWORD reserved) {
  return WithFile<BOOL>(tiff, FALSE, [&](TiffFile& f) -> BOOL {
    if (reserved != 0) return Fail(TW_TIFF_ERROR_ARGUMENT, "reserved argument %u", reserved);
    return f.MoveLast(position);
  });
}

TW_EXPORT BOOL WINAPI EncodeCcittImage(HANDLE file, DWORD width, DWORD height, DWORD mode, LPVOID context,
                                       TW_TIFF_ROW_PROC rowProc) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!rowProc) return Fail(TW_TIFF_ERROR_ARGUMENT, "no row function");
    return twtiff::EncodeCcitt(file, width, height, mode, CallerRows(rowProc, context));
  });
}

TW_EXPORT int WINAPI SaveDIBInIOCAFormatW(LPCWSTR, HGLOBAL, int, int) {
  twtiff::BeginOperation();
  Fail(TW_TIFF_ERROR_NOT_AVAILABLE, "IOCA output is not built in this library");
  return TW_TIFF_ERROR_NOT_AVAILABLE;
}

TW_EXPORT int WINAPI InsertMODCAPageW(LPCWSTR, int, HGLOBAL, int, int) {
  twtiff::BeginOperation();
  Fail(TW_TIFF_ERROR_NOT_AVAILABLE, "MO:DCA output is not built in this library");
  return TW_TIFF_ERROR_NOT_AVAILABLE;
}

TW_EXPORT HGLOBAL WINAPI LoadTiffIntoDIBW(LPCWSTR path, int image, DWORD flags) {
  return Guarded<HGLOBAL>(nullptr, [&]() -> HGLOBAL {
    if (flags != 0) {
      Fail(TW_TIFF_ERROR_ARGUMENT, "flags %u", flags);
      return nullptr;
    }
    return twtiff::LoadTiffIntoDib(Text(path), image);
  });
}
