#include "output/tiff/tiff_page.h"

#include <algorithm>
#include <array>
#include <vector>

#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "job/settings/effective.h"
#include "render/emf/page_seams.h"

namespace st = tw::settings;

namespace tw::output::tiff {
namespace {

enum : WORD { kShort = 3, kLong = 4, kRational = 5 };
enum : WORD {
  kNewSubfileType = 254,
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kXResolution = 282,
  kYResolution = 283,
  kPlanarConfiguration = 284,
  kT4Options = 292,
  kResolutionUnit = 296,
  kPageNumber = 297,
  kColorMap = 320,
};

struct Compression {
  DWORD scheme;
  std::optional<DWORD> t4Options;  // Group 3 only
};
Compression CompressionOf(DWORD code) {
  switch (code) {
    case 4: case 21: case 22: case 23: case 30: case 44: case 45: return {3, 0};
    case 5: return {3, 4};
    case 6: return {3, 1};
    case 7: case 42: case 43: return {4, std::nullopt};
    case 8: return {32773, std::nullopt};
    case 9: return {5, std::nullopt};
    case 10: return {6, std::nullopt};  // reaches the tags only in memory
    default: return {1, std::nullopt};  // 3, 46, 47
  }
}

// Pixels per metre as whole dots per inch, rounded.
DWORD Dpi(LONG pixelsPerMetre) {
  const std::int64_t ppm = std::max<LONG>(pixelsPerMetre, 0);
  return static_cast<DWORD>((ppm * 254 + 5000) / 10000);
}

// Rows per strip of 8- and 24-bit pages: strips of up to 64 KB, counted as
// the row's bytes at `bits` per pixel.
DWORD ColourRowsPerStrip(LONG width, LONG height, std::int64_t bits) {
  const std::int64_t rowBytes = (bits * width + 7) / 8;
  return static_cast<DWORD>(std::min<std::int64_t>(height, std::max<std::int64_t>(1, 8192 / rowBytes)));
}

// The row function's context: where the page's rows are and how they are delivered.
struct RowSource {
  enum class Kind { Inverted, Copied, Swapped };
  const PageImage* page;
  Kind kind;
  std::size_t bytes;  // delivered bytes of a row
};

int WINAPI DeliverRow(BYTE* row, DWORD number, LPVOID context) {
  const auto& source = *static_cast<const RowSource*>(context);
  const tw::dib::Layout& l = source.page->layout;
  if (number >= static_cast<DWORD>(l.height)) return 3;
  const BYTE* from = source.page->base + l.RowFromTop(static_cast<LONG>(number));
  switch (source.kind) {
    case RowSource::Kind::Inverted:
      for (std::size_t i = 0; i < source.bytes; ++i) row[i] = static_cast<BYTE>(~from[i]);
      break;
    case RowSource::Kind::Copied:
      std::copy_n(from, source.bytes, row);
      break;
    case RowSource::Kind::Swapped:
      std::copy_n(from, source.bytes, row);
      for (std::size_t i = 0; i + 2 < source.bytes; i += 3) std::swap(row[i], row[i + 2]);
      break;
  }
  return 0;
}

}  // namespace

TiffSettings ReadTiffSettings(const CTWFile& writer) {
  TiffSettings s;
  const CTWJob& job = *writer.m_pJob;
  st::SettingsScope scope = job.SettingsScope();
  st::EffectiveContext ctx{scope, &writer.m_DevMode, job.MergeStateForSettings(), job.m_bTiffViewer != FALSE};
  s.code = st::EffectiveFileFormat(ctx);
  s.pageNumbers = st::EffectivePageNumberingTag(ctx);
  s.reverseBits = st::EffectiveReverseBitOrder(ctx);
  s.internetTiff = st::EffectiveInternetTiff(ctx);
  s.multipage = tw::naming::DocumentGoesIntoOneFile(job);
  s.reopenAlways = job.m_bAlwaysReopenTiffFile || s.code == kJpegCode;
  s.splitDocument = st::Read(scope, st::PageSplitDocument);
  const bool emailByContent =
      st::Effective(ctx, st::PostPrintSendInEmail) &&
      (st::Effective(ctx, st::EmailContentBased) || st::Effective(ctx, st::EmailSimpleContentBased));
  const bool splitByContent = emailByContent || tw::devmode::GetFileGenerationMethod(&writer.m_DevMode) == 9;
  s.reopenPages = s.reopenAlways || splitByContent || s.splitDocument;
  return s;
}

DWORD PageNumberOf(const CTWFile& writer) {
  // Pages per sheet of 0 or 1 are off: every page is its own sheet.
  const DWORD perSheet = tw::render::GetSheetState(*writer.m_pJob).pagesPerSheet;
  return perSheet >= 2 ? writer.m_pJob->m_Pages.sheetIndex / perSheet + 1 : writer.m_dwPageNo;
}

bool IsCoverAddedAtEnd(const CTWFile& writer) {
  CTWJob& job = *writer.m_pJob;
  return !job.m_szCoverPage.empty() && !st::Read(job.SettingsScope(), st::CoverStartBeforePrinting) &&
         writer.m_dwPageNo <= job.CountCoverPages();
}

int SchemeOf(DWORD code) {
  switch (code) {
    case 8: return TW_TIFF_SCHEME_PACKBITS;
    case 9: return TW_TIFF_SCHEME_LZW;
    case 10: return TW_TIFF_SCHEME_JPEG;
    default: return TW_TIFF_SCHEME_NONE;
  }
}

std::optional<PageImage> DescribePage(const tw::dib::BlockLock& lock) {
  if (!lock.ok()) return std::nullopt;
  std::optional<tw::dib::Layout> layout = tw::dib::ReadLayout(lock.bytes());
  if (!layout || layout->Core() || layout->compression != BI_RGB) return std::nullopt;
  if (layout->bits != 1 && layout->bits != 8 && layout->bits != 24) return std::nullopt;
  PageImage page;
  page.layout = *layout;
  page.header = tw::dib::HeaderOf(lock.bytes(), *layout);
  page.base = lock.data();
  return page;
}

ImageOutcome WriteImage(TiffLibrary& lib, HTWTIFF tiff, const PageImage& page, DWORD pageNumber,
                        const TiffSettings& s) {
  ImageOutcome outcome;
  const int image = lib.DefineTiffImage(tiff);
  if (image == -1) {
    outcome.failure = lib.LastFailure();
    return outcome;
  }
  outcome.image = image;
  auto info = [&](WORD tag, WORD type, DWORD value) { lib.DefineTiffImageInfo(tiff, image, tag, type, value); };
  auto buffer = [&](WORD tag, const void* values, WORD type, DWORD count) {
    lib.DefineTiffImageInfoBuffer(tiff, image, tag, values, type, count);
  };
  const tw::dib::Layout& l = page.layout;
  const Compression compression = CompressionOf(s.code);

  if (s.pageNumbers) {
    const WORD number[2] = {static_cast<WORD>(pageNumber - 1), 0};
    buffer(kPageNumber, number, kShort, 2);
  }
  info(kCompression, kShort, compression.scheme);
  if (compression.t4Options) info(kT4Options, kLong, *compression.t4Options);
  info(kImageWidth, kLong, static_cast<DWORD>(l.width));
  info(kImageLength, kLong, static_cast<DWORD>(l.height));
  info(kBitsPerSample, kShort, 1);
  info(kSamplesPerPixel, kShort, 1);
  info(kRowsPerStrip, kShort, static_cast<DWORD>(l.height));
  info(kFillOrder, kShort, s.reverseBits ? 2 : 1);
  if (s.internetTiff) info(kNewSubfileType, kLong, 2);
  info(kXResolution, kRational, Dpi(page.header.biXPelsPerMeter));
  info(kYResolution, kRational, Dpi(page.header.biYPelsPerMeter));
  info(kResolutionUnit, kShort, 2);

  RowSource rows{&page, RowSource::Kind::Inverted, l.stride};
  std::vector<WORD> colourMap;
  if (l.bits == 1) {
    info(kPhotometric, kShort, 0);  // white is zero: the rows go inverted
  } else if (l.bits == 8) {
    info(kPhotometric, kShort, 3);
    info(kBitsPerSample, kShort, 8);
    info(kRowsPerStrip, kShort, ColourRowsPerStrip(l.width, l.height, 1));
    info(kSamplesPerPixel, kShort, 1);
    const DWORD n = l.colors ? l.colors : 256;
    colourMap.resize(3 * std::size_t{n});
    const BYTE* table = page.base + l.tableOffset;
    for (DWORD i = 0; i < n; ++i) {
      const BYTE* entry = table + 4 * std::size_t{i};  // blue, green, red, 0
      colourMap[i] = static_cast<WORD>(entry[2] * 257);
      colourMap[n + i] = static_cast<WORD>(entry[1] * 257);
      colourMap[2 * n + i] = static_cast<WORD>(entry[0] * 257);
    }
    buffer(kColorMap, colourMap.data(), kShort, 3 * n);
    rows = {&page, RowSource::Kind::Copied, static_cast<std::size_t>(l.width)};
  } else {
    info(kPhotometric, kShort, 2);
    const WORD bits[3] = {8, 8, 8};
    buffer(kBitsPerSample, bits, kShort, 3);
    info(kSamplesPerPixel, kShort, 3);
    info(kPlanarConfiguration, kShort, 1);
    info(kRowsPerStrip, kShort, ColourRowsPerStrip(l.width, l.height, 24));
    rows = {&page, RowSource::Kind::Swapped, (24 * static_cast<std::size_t>(l.width) + 15) / 16 * 2};
  }
  if (!lib.EncodeTiffImage(tiff, image, &rows, &DeliverRow)) {
    outcome.failure = lib.LastFailure();
    outcome.result = ImageOutcome::Result::NotEncoded;
    return outcome;
  }
  outcome.result = ImageOutcome::Result::Written;
  return outcome;
}

}  // namespace tw::output::tiff
