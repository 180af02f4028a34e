// What the TIFF writers share: the document's TIFF settings, the page
// number, the page image and its rows, and the definition and encoding of
// one image with the tags of its format code and colour layout.
#pragma once

#include <optional>

#include "output/tiff/tiff_library.h"
#include "tw/packed_dib.h"

namespace tw::output::tiff {

// Internal error numbers of the TIFF writers.
namespace ie {
inline constexpr int kLibraryReported = 0;  // the library's error after a finished page
inline constexpr int kNoData = 1;
inline constexpr int kNoName = 2;
inline constexpr int kEntryMissing = 3;
inline constexpr int kDibNotLocked = 4;
inline constexpr int kNotOpened = 5;
inline constexpr int kNotDefined = 8;
inline constexpr int kNotEncoded = 9;
inline constexpr int kNotReopened = 10;
inline constexpr int kNotSaved = 11;
inline constexpr int kPageNumbers = 63;
}  // namespace ie

inline constexpr WCHAR kCannotWrite[] = u"Cannot write TIFF file: ";
inline constexpr DWORD kCiscoCode = 30;
inline constexpr DWORD kJpegCode = 10;
// The library's code for an operation it does not have; the CISCO
// conversion may leave it behind on success.
inline constexpr int kNotAvailable = 13;

// The document's settings as the TIFF writers read them (the writer's record copy).
struct TiffSettings {
  DWORD code = 0;
  bool pageNumbers = false;   // PageNumber tags (Flags 0x8)
  bool reverseBits = false;   // FillOrder 2 (Flags 0x10)
  bool internetTiff = false;  // NewSubfileType 2 (Flags 0x4)
  bool multipage = false;     // the document goes into one file
  // Files are reopened for every page and never held: "Always Reopen TIFF
  // File" is 1, or code 10.
  bool reopenAlways = false;
  // SaveTIFFPage reopens too while the output is split (by content, or
  // "Split Document").
  bool reopenPages = false;
  bool splitDocument = false;
};
TiffSettings ReadTiffSettings(const CTWFile& writer);

// The page's number in its file: m_dwPageNo, or the sheet's with pages per sheet.
DWORD PageNumberOf(const CTWFile& writer);
// The page is one of the cover pages the job adds after the document's pages.
bool IsCoverAddedAtEnd(const CTWFile& writer);
// The SaveDIBInTiffFileW scheme of a format code.
int SchemeOf(DWORD code);

// The page image, locked: its layout, header and pixels. Only 1-, 8- and
// 24-bit uncompressed DIBs are pages (what rendering makes of the colour
// modes: one bit, grey and palette in 8 bits, true colour).
struct PageImage {
  tw::dib::Layout layout;
  BITMAPINFOHEADER header{};
  const BYTE* base = nullptr;
  bool Bilevel() const { return layout.bits == 1; }
};
std::optional<PageImage> DescribePage(const tw::dib::BlockLock& lock);

// One image defined and encoded into an open TIFF.
struct ImageOutcome {
  enum class Result { Written, NotDefined, NotEncoded };
  Result result = Result::NotDefined;
  int image = -1;
  TiffFailure failure;  // taken right after the failed call
};
ImageOutcome WriteImage(TiffLibrary& library, HTWTIFF tiff, const PageImage& page, DWORD pageNumber,
                        const TiffSettings& settings);

}  // namespace tw::output::tiff
