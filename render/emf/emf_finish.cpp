// After a page is rendered: OCR, trimming by grey intensity, cropping,
// rotation, colour reduction and pages per sheet.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "libs/twimaging/twimaging.h"
#include "output/imaging/dib_ops.h"
#include "render/emf/emf_internal.h"
#include "tw/packed_dib.h"

namespace dmns = tw::devmode;
namespace img = tw::imaging;
namespace twi = tw::twimaging;
using namespace tw::render;

namespace {

// The largest page colour reduction accepts, in pixels.
constexpr std::uint64_t kMaxReducedPixels = 1'024'000'000;

// TwImaging.dll, loaded when a reduction first needs it and freed at the end.
class ImagingLibrary {
 public:
  ImagingLibrary() = default;
  ~ImagingLibrary() {
    if (module_) FreeLibrary(module_);
  }
  ImagingLibrary(const ImagingLibrary&) = delete;
  ImagingLibrary& operator=(const ImagingLibrary&) = delete;
  template <typename Fn>
  Fn Entry(twi::Ordinal ordinal) {
    if (!tried_) {
      tried_ = true;
      module_ = LoadLibraryW(twi::kTwImagingDll);
      if (!module_) Trace(u"CEMFImage::DitherImage: TwImaging.dll not loaded (%d)", GetLastError());
    }
    return module_ ? twi::Entry<Fn>(module_, ordinal) : nullptr;
  }

 private:
  HMODULE module_ = nullptr;
  bool tried_ = false;
};

HGLOBAL Reduce(ImagingLibrary& lib, twi::Ordinal ordinal, HGLOBAL dib, INT bits, INT variant) {
  auto fn = lib.Entry<twi::PFN_TWREDUCEVARIANT>(ordinal);
  return fn ? fn(dib, bits, variant) : nullptr;
}

HGLOBAL ReduceBits(ImagingLibrary& lib, twi::Ordinal ordinal, HGLOBAL dib, INT bits) {
  auto fn = lib.Entry<twi::PFN_TWREDUCEBITS>(ordinal);
  return fn ? fn(dib, bits) : nullptr;
}

}  // namespace

HGLOBAL CEMFImage::DitherImage(HGLOBAL hDIB, const TarnwickDEVMODE* pDevMode) {
  if (!hDIB) return nullptr;
  // The page's size by the record, and by the image itself (both in 64 bits).
  if (pDevMode) {
    std::uint64_t w = static_cast<std::uint64_t>(std::max<LONG>(pDevMode->PaperWidthInPixels, 0));
    std::uint64_t h = static_cast<std::uint64_t>(std::max<LONG>(pDevMode->PaperHeightInPixels, 0));
    if (w * h > kMaxReducedPixels) return nullptr;
  }
  LONG width = 0, height = 0;
  if (!GetDIBSize(hDIB, &width, &height) ||
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxReducedPixels)
    return nullptr;

  ImagingLibrary lib;
  tw::dib::GlobalBlock adjusted;
  HGLOBAL input = hDIB;
  const LONG brightness = std::min<LONG>(static_cast<LONG>(dmns::GetBrightness(pDevMode)), 199);
  if (brightness != 100) {
    if (auto adjust = lib.Entry<twi::PFN_TWADJUSTBRIGHTNESSCONTRAST>(twi::kOrdinalBrightnessContrast)) {
      const LONG delta = brightness - 100;
      if (HGLOBAL result = adjust(hDIB, delta, std::min<LONG>(2 * std::abs(delta), 100), 0)) {
        adjusted = tw::dib::GlobalBlock(result);
        input = result;
      }
    }
  }
  const DWORD dithering = pDevMode ? pDevMode->Dithering : 0;
  switch (dmns::GetColorMode(pDevMode)) {
    case 0:
      switch (dithering) {
        case 2: return Reduce(lib, twi::kOrdinalQuantizeColors, input, 1, 0);
        case 3: return ReduceBits(lib, twi::kOrdinalOrderedDither, input, 1);
        case 4: return ReduceBits(lib, twi::kOrdinalAtkinsonDither, input, 1);
        case 5: return img::StuckiDither(input, 1);
        case 6: return img::DitherThreshold(input, 0);
        case 7: {
          tw::dib::GlobalBlock grey(img::ConvertToGrey(input));
          if (!grey) return nullptr;
          auto bilevel = lib.Entry<twi::PFN_TWGREYTOBILEVEL>(twi::kOrdinalGreyToBilevel);
          return bilevel ? bilevel(grey.get(), 0) : nullptr;
        }
        case 8: return Reduce(lib, twi::kOrdinalDiffuseColors, input, 1, 1);
        case 9: return Reduce(lib, twi::kOrdinalQuantizeColors, input, 1, 1);
        default: return Reduce(lib, twi::kOrdinalDiffuseColors, input, 1, 0);
      }
    case 2:
      switch (dithering) {
        case 2: return Reduce(lib, twi::kOrdinalQuantizeColors, input, 8, 0);
        case 5: return img::StuckiDither(input, 8);
        case 8: return Reduce(lib, twi::kOrdinalDiffuseColors, input, 8, 1);
        case 9: return Reduce(lib, twi::kOrdinalQuantizeColors, input, 8, 1);
        default: return Reduce(lib, twi::kOrdinalDiffuseColors, input, 8, 0);
      }
    case 1:
      return img::ConvertToGrey(input);
    default:
      return nullptr;  // true colour is not reduced
  }
}

BOOL CEMFImage::ReducePage(const TarnwickDEVMODE* pDevMode, bool raw) {
  const DWORD mode = dmns::GetColorMode(pDevMode);
  const DWORD dithering = pDevMode ? pDevMode->Dithering : 0;
  const bool reduce = mode == 1 || mode == 2 || (mode == 0 && (raw ? dithering == 6 : dithering != 0));
  if (!reduce) return TRUE;
  HGLOBAL reduced = DitherImage(m_hDIB, pDevMode);
  if (!reduced) return FALSE;
  ReplaceDIB(reduced);
  return TRUE;
}

void CEMFImage::TrimByIntensity(const PageSettings& settings, bool updatePosition) {
  if (!settings.trimByIntensity || !settings.trim.Any()) return;
  const BYTE threshold = static_cast<BYTE>(255u - settings.intensity * 255u / 100u);
  LONG left = -1, right = -1, top = -1, bottom = -1, width = 0, height = 0;
  if (!FindContentMargins(m_hDIB, threshold, &left, &right, &top, &bottom) || !GetDIBSize(m_hDIB, &width, &height))
    return;
  auto margin = [](bool on, LONG value) { return on && value > 0 ? value : 0; };
  left = margin(settings.trim.left, left);
  right = margin(settings.trim.right, right);
  top = margin(settings.trim.top, top);
  bottom = margin(settings.trim.bottom, bottom);
  if (left == 0 && right == 0 && top == 0 && bottom == 0) return;
  auto keep = img::CropRectFromEdges(width, height, left, top, width - right, height - bottom);
  HGLOBAL trimmed = keep ? img::CropDIB(m_hDIB, keep->left, keep->top, keep->right, keep->bottom) : nullptr;
  if (!trimmed) {
    Trace(u"CEMFImage: trimming by intensity left the page as it was");
    return;
  }
  ReplaceDIB(trimmed);
  if (updatePosition) {
    m_nLeft += keep->left;
    m_nTop += keep->top;
    m_nWidth = keep->right - keep->left + 1;
    m_nHeight = keep->bottom - keep->top + 1;
  }
}

void CEMFImage::CropPage(const TarnwickDEVMODE* pDevMode, const PageSettings& settings, bool updatePosition) {
  if (!settings.crop) return;
  LONG width = 0, height = 0;
  if (!GetDIBSize(m_hDIB, &width, &height)) return;
  RECT edges = ComputeCropEdges(width, height, dmns::GetXDPI(pDevMode), dmns::GetYDPI(pDevMode), settings.cropMode,
                                settings.cropLeft, settings.cropTop, settings.cropRight, settings.cropBottom);
  auto keep = img::CropRectFromEdges(width, height, edges.left, edges.top, edges.right, edges.bottom);
  // A crop that would leave nothing keeps the page whole: a page is never lost to it.
  if (!keep) {
    Trace(u"CEMFImage: the crop leaves nothing of the page; not cropped");
    return;
  }
  if (keep->left == 0 && keep->top == 0 && keep->right == width - 1 && keep->bottom == height - 1) return;
  HGLOBAL cropped = img::CropDIB(m_hDIB, keep->left, keep->top, keep->right, keep->bottom);
  if (!cropped) {
    Trace(u"CEMFImage: the page could not be cropped");
    return;
  }
  ReplaceDIB(cropped);
  if (updatePosition) {
    m_nLeft += keep->left;
    m_nTop += keep->top;
    m_nWidth = keep->right - keep->left + 1;
    m_nHeight = keep->bottom - keep->top + 1;
  }
}

BOOL CEMFImage::RotatePage(const TarnwickDEVMODE* pDevMode, const PageSettings& settings) {
  LONG rotation = settings.rotation;
  if (pDevMode && (pDevMode->Flags & dmns::flags::RotatePaper)) rotation = pDevMode->DM.dmOrientation == 2 ? 3 : 0;
  HGLOBAL turned;
  switch (rotation) {
    case 1: turned = img::RotateDIB90Left(m_hDIB); break;
    case 2: turned = img::RotateDIB180(m_hDIB); break;
    case 3: turned = img::RotateDIB90Right(m_hDIB); break;
    default: return TRUE;
  }
  if (!turned) return Fail(54, __FILE__, __LINE__);
  ReplaceDIB(turned);
  return TRUE;
}

BOOL CEMFImage::FinishPage(TarnwickDEVMODE* pDevMode, const PageSettings& settings, bool raw, BOOL bNoText) {
  CTWJob& job = *m_pJob;
  if (!m_hDIB) return Fail(53, __FILE__, __LINE__);
  if (!settings.roles.barcodeSeparator && !RunPageOcr(job, m_hDIB, !raw && bNoText))
    Trace(u"CEMFImage: OCR of the page failed");
  if (raw) {
    CropPage(pDevMode, settings, false);
    TrimByIntensity(settings, false);
  } else {
    TrimByIntensity(settings, true);
    CropPage(pDevMode, settings, true);
  }
  if (!RotatePage(pDevMode, settings)) return FALSE;
  SheetState sheet = GetSheetState(job);
  if (sheet.pagesPerSheet == 0) return ReducePage(pDevMode, raw) ? TRUE : Fail(57, __FILE__, __LINE__);
  if (!AddPageToSheet(job, *this)) return Fail(57, __FILE__, __LINE__);
  return TRUE;
}
