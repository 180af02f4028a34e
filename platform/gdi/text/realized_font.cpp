// Realising a LOGFONT for a DC transform with FreeType, and the glyph cache.
#include "realized_font.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <string>

#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_ADVANCES_H

#include "winerror.h"

namespace tw::gdi::text {
namespace {

constexpr int kMaxEmDev = 16000;           // larger requests are realised at this size
constexpr std::size_t kMaxGlyphPixels = 1u << 24;  // glyphs larger than this draw nothing
constexpr std::size_t kMaxCachedFonts = 128;

thread_local int compatibleTextDepth = 0;

// Text space -> device for the DC: see realized_font.h.
Matrix textToDeviceFor(const Dc& dc, const LOGFONTW& lf) {
  const Matrix& m = dc.LogicalToDevice();
  double angle = lf.lfEscapement * std::numbers::pi / 1800.0;
  double c = std::cos(angle), s = std::sin(angle);
  // Counter-clockwise as seen on the page (y down): (1,0) -> (c,-s).
  Matrix rotate{c, -s, s, c, 0, 0};
  Matrix linear{m.m11, m.m12, m.m21, m.m22, 0, 0};
  if (dc.State().graphicsMode == GM_ADVANCED && compatibleTextDepth == 0) return rotate.Then(linear);
  if (linear.IsAxisAligned()) return Matrix::Scale(std::fabs(m.m11), std::fabs(m.m22)).Then(rotate);
  // Compatible-mode text played through a turned transform: turned with
  // it, never mirrored.
  if (linear.Determinant() < 0) return rotate.Then(Matrix::Scale(1, -1)).Then(linear);
  return rotate.Then(linear);
}

struct CacheKey {
  std::string bytes;
  bool operator<(const CacheKey& o) const { return bytes < o.bytes; }
};

template <class T>
void appendBytes(std::string& s, const T& v) {
  s.append(reinterpret_cast<const char*>(&v), sizeof(v));
}

struct FontCache {
  std::mutex mutex;
  std::map<CacheKey, std::shared_ptr<RealizedFont>> fonts;
};
FontCache& fontCache() {
  static FontCache* cache = new FontCache;
  return *cache;
}

int roundInt(double v) { return int(std::lround(v)); }

// The 'gasp' table's word at the font's pixel size: ranges in ascending
// order of their largest size; a size beyond the last takes the last. No
// table (or a damaged one) leaves greyscale on.
bool gaspAllowsGrey(FT_Face face, int ppem) {
  constexpr FT_ULong kGasp = FT_MAKE_TAG('g', 'a', 's', 'p');
  constexpr unsigned kDoGray = 0x0002;
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(face, kGasp, 0, nullptr, &length) || length < 8) return true;
  std::vector<BYTE> table(length);
  if (FT_Load_Sfnt_Table(face, kGasp, 0, table.data(), &length)) return true;
  auto word = [&](std::size_t at) { return unsigned(table[at] << 8 | table[at + 1]); };
  unsigned version = word(0), ranges = word(2);
  if (version > 1 || ranges == 0 || 4 + std::size_t(ranges) * 4 > length) return true;
  unsigned flags = 0;
  for (unsigned i = 0; i < ranges; ++i) {
    flags = word(4 + 4 * i + 2);
    if (unsigned(ppem) <= word(4 + 4 * i)) break;
  }
  return flags & kDoGray;
}

}  // namespace

CompatibleTextScope::CompatibleTextScope() { ++compatibleTextDepth; }
CompatibleTextScope::~CompatibleTextScope() { --compatibleTextDepth; }

std::shared_ptr<RealizedFont> RealizedFont::ForDc(Dc& dc) {
  const auto& state = dc.State();
  LOGFONTW lf{};
  if (state.font) lf = state.font->logfont;
  else lf = LOGFONTW{-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, VARIABLE_PITCH | FF_SWISS, {}};
  return ForLogfont(lf, textToDeviceFor(dc, lf), dc.Caps().logPixelsY > 0 ? dc.Caps().logPixelsY : 96);
}

std::shared_ptr<RealizedFont> RealizedFont::ForLogfont(const LOGFONTW& lf, const Matrix& t, int dpiY) {
  CacheKey key;
  appendBytes(key.bytes, lf);
  appendBytes(key.bytes, t.m11), appendBytes(key.bytes, t.m12), appendBytes(key.bytes, t.m21), appendBytes(key.bytes, t.m22);
  appendBytes(key.bytes, dpiY);
  appendBytes(key.bytes, RegistryGeneration());
  FontCache& cache = fontCache();
  {
    std::lock_guard lock(cache.mutex);
    if (auto it = cache.fonts.find(key); it != cache.fonts.end()) return it->second;
  }
  std::shared_ptr<RealizedFont> font(new RealizedFont);
  if (!font->Init(lf, t, dpiY)) return nullptr;
  std::lock_guard lock(cache.mutex);
  if (cache.fonts.size() >= kMaxCachedFonts) cache.fonts.clear();  // fonts in use live on in their holders
  cache.fonts.emplace(std::move(key), font);
  return font;
}

RealizedFont::~RealizedFont() { CloseFace(face_); }

bool RealizedFont::Init(const LOGFONTW& lf, const Matrix& t, int dpiY) {
  logfont_ = lf;
  match_ = MatchFace(lf);
  if (!match_.face || !(face_ = OpenFace(*match_.face))) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  textToDevice_ = t;
  scaleX_ = std::hypot(t.m11, t.m12);
  scaleY_ = std::hypot(t.m21, t.m22);
  if (!(scaleX_ > 1e-9) || !(scaleY_ > 1e-9) || !std::isfinite(scaleX_) || !std::isfinite(scaleY_)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  symbol_ = face_->charmap && face_->charmap->encoding == FT_ENCODING_MS_SYMBOL;
  unitsPerEm_ = face_->units_per_EM > 0 ? face_->units_per_EM : 2048;
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
  auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face_, FT_SFNT_HHEA));
  if (os2 && os2->version == 0xFFFF) os2 = nullptr;
  double winAscent = os2 && (os2->usWinAscent + os2->usWinDescent) > 0 ? os2->usWinAscent : face_->ascender;
  double winDescent = os2 && (os2->usWinAscent + os2->usWinDescent) > 0 ? os2->usWinDescent : -face_->descender;
  if (winAscent + winDescent <= 0) winAscent = unitsPerEm_ * 0.8, winDescent = unitsPerEm_ * 0.2;

  // The em in device pixels: lfHeight < 0 is the em, > 0 the cell (ascent
  // plus descent), 0 a 12-point default; GDI realises whole pixel sizes.
  double em, cellDev = 0;
  if (lf.lfHeight < 0) {
    em = std::round(-double(lf.lfHeight) * scaleY_);
  } else if (lf.lfHeight > 0) {
    cellDev = std::max(1.0, std::round(double(lf.lfHeight) * scaleY_));
    em = std::round(cellDev * unitsPerEm_ / (winAscent + winDescent));
  } else {
    em = std::round(dpiY * 12.0 / 72.0);
  }
  emDev_ = int(std::clamp(em, 1.0, double(kMaxEmDev)));
  if (FT_Set_Char_Size(face_, 0, FT_F26Dot6(emDev_) * 64, 72, 72)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  smoothed_ = match_.synthBold || match_.synthItalic || gaspAllowsGrey(face_, emDev_);
  double perUnit = double(emDev_) / unitsPerEm_;
  ascentDev_ = roundInt(winAscent * perUnit);
  descentDev_ = roundInt(winDescent * perUnit);
  if (cellDev > 0 && cellDev <= kMaxEmDev) {  // a cell height asked for is the height given
    ascentDev_ = roundInt(winAscent * cellDev / (winAscent + winDescent));
    descentDev_ = int(cellDev) - ascentDev_;
  }
  if (hhea) {
    double hheaHeight = double(hhea->Ascender) - hhea->Descender;
    double gap = hhea->Line_Gap - ((winAscent + winDescent) - hheaHeight);
    externalDev_ = std::max(0, roundInt(gap * perUnit));
  }
  // lfWidth asks for an average character width: stretch horizontally.
  double avgUnits = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : unitsPerEm_ / 2.0;
  if (lf.lfWidth != 0) {
    double target = std::abs(double(lf.lfWidth)) * scaleX_;
    widthFactor_ = std::clamp(target / (avgUnits * perUnit), 0.01, 100.0);
  }
  advanceScale_ = widthFactor_ * scaleX_ / scaleY_;
  avgDev_ = roundInt(avgUnits * perUnit * advanceScale_);
  maxDev_ = roundInt((hhea ? hhea->advance_Width_Max : unitsPerEm_) * perUnit * advanceScale_);
  underlinePos_ = std::max(1, roundInt(-face_->underline_position * perUnit));
  underlineSize_ = std::max(1, roundInt(face_->underline_thickness * perUnit));
  strikeoutPos_ = roundInt((os2 && os2->yStrikeoutPosition ? os2->yStrikeoutPosition : winAscent / 3) * perUnit);
  strikeoutSize_ = std::max(1, roundInt((os2 && os2->yStrikeoutSize ? os2->yStrikeoutSize : unitsPerEm_ / 20) * perUnit));
  weight_ = match_.synthBold ? FW_BOLD : (lf.lfWeight ? int(lf.lfWeight) : match_.face->weight);
  if (!match_.synthBold && lf.lfWeight == 0) weight_ = match_.face->weight;
  italic_ = lf.lfItalic || match_.face->italic;
  BYTE family = FF_SWISS;
  if (os2) {
    int cls = os2->sFamilyClass >> 8;
    if (cls >= 1 && cls <= 7) family = FF_ROMAN;
    if (cls == 10) family = FF_SCRIPT;
    if (cls == 12) family = FF_DECORATIVE;
  }
  if (FT_IS_FIXED_WIDTH(face_)) family = FF_MODERN;
  // TMPF_FIXED_PITCH set means a variable pitch font (as GDI defines it).
  pitchAndFamily_ = BYTE(family | TMPF_TRUETYPE | TMPF_VECTOR | (FT_IS_FIXED_WIDTH(face_) ? 0 : TMPF_FIXED_PITCH));
  if (os2) {
    firstChar_ = WCHAR(os2->usFirstCharIndex >= 2 ? os2->usFirstCharIndex - 2 : 0);
    lastChar_ = WCHAR(os2->usLastCharIndex);
  }

  // The glyph transform (FreeType's y-up device space): font pixels ->
  // text space (lfWidth stretch, synthetic italic shear) -> device.
  double shear = match_.synthItalic ? 0.2 : 0;
  double xx = widthFactor_ * t.m11 / scaleY_, xy = (shear * t.m11 - t.m21) / scaleY_;
  double yx = -widthFactor_ * t.m12 / scaleY_, yy = (t.m22 - shear * t.m12) / scaleY_;
  bool identity = std::fabs(xx - 1) < 1e-9 && std::fabs(yy - 1) < 1e-9 && std::fabs(xy) < 1e-9 && std::fabs(yx) < 1e-9;
  if (!identity) {
    FT_Matrix m{FT_Fixed(std::lround(xx * 65536)), FT_Fixed(std::lround(xy * 65536)), FT_Fixed(std::lround(yx * 65536)),
                FT_Fixed(std::lround(yy * 65536))};
    FT_Set_Transform(face_, &m, nullptr);
  }
  advances_.assign(std::size_t(std::max<FT_Long>(face_->num_glyphs, 1)), -1);
  return true;
}

TEXTMETRICW RealizedFont::Metrics() const {
  auto ly = [&](int dev) { return LONG(std::lround(dev / scaleY_)); };
  auto lx = [&](int dev) { return LONG(std::lround(dev / scaleX_)); };
  TEXTMETRICW tm{};
  tm.tmAscent = ly(ascentDev_);
  tm.tmDescent = ly(descentDev_);
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmInternalLeading = std::max<LONG>(0, tm.tmHeight - ly(emDev_));
  tm.tmExternalLeading = ly(externalDev_);
  tm.tmAveCharWidth = lx(avgDev_);
  tm.tmMaxCharWidth = lx(maxDev_);
  tm.tmWeight = weight_;
  tm.tmOverhang = 0;
  tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 0;
  tm.tmFirstChar = firstChar_;
  tm.tmLastChar = lastChar_;
  tm.tmDefaultChar = WCHAR(firstChar_ + 1);
  tm.tmBreakChar = 0x20;
  tm.tmItalic = italic_ ? 1 : 0;
  tm.tmUnderlined = logfont_.lfUnderline ? 1 : 0;
  tm.tmStruckOut = logfont_.lfStrikeOut ? 1 : 0;
  tm.tmPitchAndFamily = pitchAndFamily_;
  tm.tmCharSet = logfont_.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : logfont_.lfCharSet;
  return tm;
}

WORD RealizedFont::GlyphIndex(char32_t c, bool* exists) const {
  std::lock_guard lock(mutex_);
  std::int32_t* known = c < latinGlyphs_.size() ? &latinGlyphs_[c] : nullptr;
  FT_UInt g;
  if (known && *known >= 0) {
    g = FT_UInt(*known);
  } else {
    g = FT_Get_Char_Index(face_, c);
    // Symbol fonts map their characters at U+F000..F0FF; text addresses them
    // by their 8-bit codes.
    if (!g && symbol_ && c < 0x100) g = FT_Get_Char_Index(face_, 0xF000 + c);
    if (known) *known = std::int32_t(std::min<FT_UInt>(g, 0x7FFFFFFF));
  }
  if (exists) *exists = g != 0;
  return g > 0xFFFF ? 0 : WORD(g);
}

int RealizedFont::AdvanceDev(WORD glyph) const {
  std::lock_guard lock(mutex_);
  if (glyph >= advances_.size()) return 0;
  int& cached = advances_[glyph];
  if (cached < 0) {
    FT_Fixed advance = 0;
    if (FT_Get_Advance(face_, glyph, FT_LOAD_NO_SCALE, &advance)) advance = 0;
    cached = std::max(0, roundInt(double(advance) * emDev_ / unitsPerEm_ * advanceScale_));
  }
  return cached;
}

void RealizedFont::AbcDev(WORD glyph, int& a, int& b, int& c) const {
  int advance = AdvanceDev(glyph);
  std::lock_guard lock(mutex_);
  a = b = c = 0;
  if (FT_Load_Glyph(face_, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP)) {
    b = advance;
    return;
  }
  double k = double(emDev_) / unitsPerEm_ * advanceScale_;
  a = roundInt(face_->glyph->metrics.horiBearingX * k);
  b = std::max(0, roundInt(face_->glyph->metrics.width * k));
  c = advance - a - b;
}

std::shared_ptr<const GlyphBitmap> RealizedFont::Render(WORD glyph, bool mono) const {
  std::lock_guard lock(mutex_);
  unsigned key = glyph | (mono ? 0x10000u : 0u);
  if (auto it = glyphs_.find(key); it != glyphs_.end()) return it->second;
  std::shared_ptr<GlyphBitmap> out;
  // Outlines are hinted, as GDI draws TrueType glyphs (for the target they
  // are rendered to); advances stay the unhinted widths measured above.
  FT_Int32 target = mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL;
  if (!FT_Load_Glyph(face_, glyph, target | FT_LOAD_NO_BITMAP) &&
      face_->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_GlyphSlot slot = face_->glyph;
    if (match_.synthBold) FT_Outline_Embolden(&slot->outline, std::max<FT_Pos>(32, FT_Pos(emDev_) * 64 / 32));
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    double pixels = (double(box.xMax - box.xMin) / 64 + 2) * (double(box.yMax - box.yMin) / 64 + 2);
    if (pixels < double(kMaxGlyphPixels) &&
        !FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL)) {
      const FT_Bitmap& bm = slot->bitmap;
      if (bm.width > 0 && bm.rows > 0) {
        out = std::make_shared<GlyphBitmap>();
        out->left = slot->bitmap_left;
        out->top = slot->bitmap_top;
        out->width = int(bm.width);
        out->height = int(bm.rows);
        out->mask.resize(std::size_t(bm.width) * bm.rows);
        for (unsigned y = 0; y < bm.rows; ++y) {
          const unsigned char* src = bm.buffer + std::ptrdiff_t(y) * bm.pitch;
          BYTE* dst = out->mask.data() + std::size_t(y) * bm.width;
          if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
            for (unsigned x = 0; x < bm.width; ++x) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
          } else {
            std::memcpy(dst, src, bm.width);
          }
        }
      }
    }
  }
  glyphs_.emplace(key, out);
  return out;
}

bool RealizedFont::TableData(DWORD tag, std::vector<BYTE>& out) const {
  std::lock_guard lock(mutex_);
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(face_, tag, 0, nullptr, &length) || length == 0) return false;
  out.resize(length);
  return FT_Load_Sfnt_Table(face_, tag, 0, out.data(), &length) == 0;
}

std::vector<std::pair<char32_t, char32_t>> RealizedFont::UnicodeRanges() const {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<char32_t, char32_t>> ranges;
  FT_UInt g = 0;
  for (FT_ULong c = FT_Get_First_Char(face_, &g); g != 0; c = FT_Get_Next_Char(face_, c, &g)) {
    if (c > 0xFFFF) break;  // GLYPHSET holds UTF-16 units
    if (!ranges.empty() && ranges.back().second + 1 == c) ranges.back().second = char32_t(c);
    else ranges.emplace_back(char32_t(c), char32_t(c));
  }
  return ranges;
}

}  // namespace tw::gdi::text
