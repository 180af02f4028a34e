// Internal: a font realised for one DC transform. GDI realises a LOGFONT at
// a whole pixel em size on the device; metrics and advances are whole
// device pixels, converted to logical units for the measuring calls. Text
// space is the logical space of the string: x along the baseline (turned by
// the escapement), y downwards across it. TextToDevice maps text-space
// vectors to device vectors: in GM_ADVANCED through the whole world and page
// transform (mirroring included), in GM_COMPATIBLE only through the page
// transform's scales, so glyphs stay upright whatever the mapping mode.
//
// Realised fonts are shared between DCs and threads: every member function
// is thread-safe. Glyph bitmaps are rendered once and cached.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "../dc.h"
#include "../text_seam.h"
#include "font_registry.h"

namespace tw::gdi::text {

struct GlyphBitmap {
  int left = 0;  // from the pen position to the mask's left column (device)
  int top = 0;   // from the pen position up to the mask's top row (device)
  int width = 0;
  int height = 0;
  std::vector<BYTE> mask;  // width x height coverage, 0..255
};

class RealizedFont {
 public:
  // The font selected into `dc`, realised for its current transform; null
  // with the last error set when no font can be opened.
  static std::shared_ptr<RealizedFont> ForDc(Dc& dc);
  // A LOGFONT realised for a text-space -> device transform.
  static std::shared_ptr<RealizedFont> ForLogfont(const LOGFONTW& lf, const Matrix& textToDevice, int dpiY);

  ~RealizedFont();
  RealizedFont(const RealizedFont&) = delete;
  RealizedFont& operator=(const RealizedFont&) = delete;

  const LOGFONTW& Logfont() const { return logfont_; }
  const FaceMatch& Match() const { return match_; }
  const Matrix& TextToDevice() const { return textToDevice_; }
  double ScaleX() const { return scaleX_; }  // device pixels per text unit along the baseline
  double ScaleY() const { return scaleY_; }  // ... across it
  double WidthFactor() const { return widthFactor_; }  // lfWidth's horizontal stretch of the glyphs

  // Device metrics (whole pixels along the text axes).
  int EmDev() const { return emDev_; }
  int AscentDev() const { return ascentDev_; }
  int DescentDev() const { return descentDev_; }
  int UnderlinePosDev() const { return underlinePos_; }  // below the baseline, positive down
  int UnderlineSizeDev() const { return underlineSize_; }
  int StrikeoutPosDev() const { return strikeoutPos_; }  // above the baseline, positive up
  int StrikeoutSizeDev() const { return strikeoutSize_; }

  // How far (device pixels) any glyph's ink can reach from its origin.
  double GlyphReach() const { return emDev_ * 2.0 * std::max(1.0, widthFactor_ * scaleX_ / scaleY_) + 4; }

  // TEXTMETRICW in logical units.
  TEXTMETRICW Metrics() const;

  // The glyph of a character (0 when the font has none); `exists` tells.
  WORD GlyphIndex(char32_t c, bool* exists = nullptr) const;
  // Advance of a glyph in whole device pixels along the baseline.
  int AdvanceDev(WORD glyph) const;
  // A, B and C widths of a glyph in device pixels.
  void AbcDev(WORD glyph, int& a, int& b, int& c) const;
  // Whether greyscale (antialiased) glyphs are drawn at this size: the
  // font's 'gasp' table can ask for aliased glyphs at some sizes (small
  // Liberation sizes, for one), as GDI honours; synthetic bold and italic
  // faces are always smoothed.
  bool Smoothed() const { return smoothed_; }
  // The glyph's coverage mask for a surface (mono: 0 or 255 only); null
  // for glyphs without ink.
  std::shared_ptr<const GlyphBitmap> Render(WORD glyph, bool mono) const;
  // Bytes of an sfnt table (tag as FreeType spells it; 0 = the whole
  // file); false when the font has no such table.
  bool TableData(DWORD tag, std::vector<BYTE>& out) const;
  // Every character the font maps, as ranges (GetFontUnicodeRanges).
  std::vector<std::pair<char32_t, char32_t>> UnicodeRanges() const;

 private:
  RealizedFont() = default;
  bool Init(const LOGFONTW& lf, const Matrix& textToDevice, int dpiY);

  mutable std::mutex mutex_;
  FT_Face face_ = nullptr;
  LOGFONTW logfont_{};
  FaceMatch match_;
  Matrix textToDevice_;
  double scaleX_ = 1, scaleY_ = 1;
  double widthFactor_ = 1;  // lfWidth's horizontal stretch
  double advanceScale_ = 1;  // font pixels at the em size -> device pixels along the baseline
  bool symbol_ = false;
  int unitsPerEm_ = 2048;
  int emDev_ = 1, ascentDev_ = 0, descentDev_ = 0, externalDev_ = 0, avgDev_ = 0, maxDev_ = 0;
  int underlinePos_ = 0, underlineSize_ = 1, strikeoutPos_ = 0, strikeoutSize_ = 1;
  int weight_ = FW_NORMAL;
  bool italic_ = false;
  bool smoothed_ = true;
  BYTE pitchAndFamily_ = 0;
  WCHAR firstChar_ = 0x1E, lastChar_ = 0xFFFC;
  mutable std::vector<int> advances_;  // -1: not measured yet
  // Glyphs of the first 256 characters, which most text is made of; -1: not looked up yet.
  mutable std::array<std::int32_t, 256> latinGlyphs_ = [] {
    std::array<std::int32_t, 256> unknown;
    unknown.fill(-1);
    return unknown;
  }();
  mutable std::unordered_map<unsigned, std::shared_ptr<const GlyphBitmap>> glyphs_;
};

}  // namespace tw::gdi::text
