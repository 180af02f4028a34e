// The vector backend's text: the raster engine's layout (text_layout.h),
// drawn as real text with the same faces, so the document embeds the fonts
// and keeps the characters (cairo writes the glyph-to-text map).
#include <cairo-ft.h>

#include <algorithm>
#include <cmath>
#include <cwctype>

#include "../draw.h"
#include "cairo_fonts.h"
#include "tw/utf.h"
#include "cairo_recorder.h"
#include "winerror.h"

namespace tw::gdi {
namespace {

constexpr unsigned kRestrictedLicence = 0x0002;  // fsType: no embedding without the licence holder
constexpr unsigned kBitmapOnly = 0x0200;         // fsType: only bitmaps may be embedded

bool sameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

bool startsWithNoCase(std::u16string_view text, std::size_t at, std::u16string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::towlower(text[at + i]) != prefix[i]) return false;
  return true;
}

void quadBounds(const double (&px)[4], const double (&py)[4], RECT& box) {
  auto c = [](double v) { return LONG(std::clamp(v, -1e9, 1e9)); };
  box = {c(std::floor(*std::min_element(px, px + 4))), c(std::floor(*std::min_element(py, py + 4))),
         c(std::ceil(*std::max_element(px, px + 4))), c(std::ceil(*std::max_element(py, py + 4)))};
}

void quadPath(cairo_t* cr, const double (&px)[4], const double (&py)[4]) {
  cairo_new_path(cr);
  cairo_move_to(cr, px[0], py[0]);
  for (int i = 1; i < 4; ++i) cairo_line_to(cr, px[i], py[i]);
  cairo_close_path(cr);
}

}  // namespace

CairoFonts::~CairoFonts() {
  for (auto& [key, face] : faces_) cairo_font_face_destroy(face.face);
}

CairoFonts::Face CairoFonts::Get(const std::shared_ptr<const text::FaceInfo>& info, bool synthBold) {
  std::lock_guard lock(mutex_);
  auto key = std::make_pair(info.get(), synthBold);
  if (auto it = faces_.find(key); it != faces_.end()) return it->second;
  Face out;
  FT_Face ft = text::OpenFace(*info);
  if (ft) {
    out.fsType = FT_Get_FSType_Flags(ft);
    struct Hold {
      FT_Face ft;
      std::shared_ptr<const text::FaceInfo> info;  // memory fonts keep their bytes
    };
    static cairo_user_data_key_t holdKey;
    auto* hold = new Hold{ft, info};
    cairo_font_face_t* face = cairo_ft_font_face_create_for_ft_face(ft, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
    if (cairo_font_face_status(face) == CAIRO_STATUS_SUCCESS &&
        cairo_font_face_set_user_data(face, &holdKey, hold, [](void* p) {
          auto* h = static_cast<Hold*>(p);
          text::CloseFace(h->ft);
          delete h;
        }) == CAIRO_STATUS_SUCCESS) {
      if (synthBold) cairo_ft_font_face_set_synthesize(face, CAIRO_FT_SYNTHESIZE_BOLD);
      out.face = face;
    } else {
      cairo_font_face_destroy(face);
      text::CloseFace(ft);
      delete hold;
    }
  }
  faces_.emplace(key, out);
  keep_.push_back(info);
  return out;
}

cairo_font_face_t* CairoRecorder::FontFace(const text::RealizedFont& font, bool& outlineOnly) {
  const text::FaceMatch& match = font.Match();
  outlineOnly = false;
  if (!match.face) return nullptr;
  CairoFonts::Face face = options_.fonts->Get(match.face, match.synthBold);
  if (!face.face) return nullptr;
  if (!options_.embedRestrictedFonts && (face.fsType & (kRestrictedLicence | kBitmapOnly))) outlineOnly = true;
  std::u16string_view requested(font.Logfont().lfFaceName);
  requested = requested.substr(0, requested.find(u'\0'));
  for (const std::u16string& name : options_.forbiddenFonts)
    if (sameName(name, match.face->family) || sameName(name, requested)) outlineOnly = true;
  return face.face;
}

bool CairoRecorder::DrawText(Dc& dc, const text::TextLayout& layout, UINT options, const RECT* rect,
                             std::u16string_view text) {
  const DcState& s = dc.State();
  std::optional<RegionData> extra;
  if (rect && (options & ETO_CLIPPED)) extra = LogicalRectRegion(dc, *rect);
  if (!ApplyClip(dc, extra ? &*extra : nullptr)) return true;
  const text::RealizedFont& font = *layout.font;
  std::size_t n = layout.glyphs.size();
  double px[4], py[4];
  if (s.bkMode == OPAQUE && n > 0) {
    layout.CellToDevice(px, py);
    SetSourceRgb(DeviceRgb(dc, s.bkColor));
    quadPath(cr_, px, py);
    cairo_fill(cr_);
  }
  bool outlineOnly = false;
  cairo_font_face_t* face = n > 0 ? FontFace(font, outlineOnly) : nullptr;
  if (face) {
    // Font space (one em, y down) -> device: the em in text units, the
    // lfWidth stretch, the synthetic italic's shear, then the text-to-device
    // transform of the realised font.
    const Matrix& t = font.TextToDevice();
    double k = font.EmDev() / font.ScaleY(), wf = font.WidthFactor();
    double shear = font.Match().synthItalic ? 0.2 : 0;
    cairo_matrix_t fm;
    cairo_matrix_init(&fm, k * wf * t.m11, k * wf * t.m12, k * (t.m21 - shear * t.m11), k * (t.m22 - shear * t.m12), 0,
                      0);
    double det = fm.xx * fm.yy - fm.xy * fm.yx;
    if (std::isfinite(det) && std::fabs(det) > 1e-12) {
      bool glyphIndex = options & ETO_GLYPH_INDEX;
      std::vector<cairo_glyph_t> glyphs;
      std::vector<cairo_text_cluster_t> clusters;
      std::string utf8;
      glyphs.reserve(n);
      for (std::size_t i = 0; i < n; ++i) {
        WORD g = layout.glyphs[i];
        if (g == text::kNoGlyph || (g == 0 && options_.skipNotdef)) continue;
        cairo_glyph_t glyph;
        glyph.index = g;
        layout.GlyphOrigin(i, glyph.x, glyph.y);
        if (!std::isfinite(glyph.x) || !std::isfinite(glyph.y) || std::fabs(glyph.x) > 4e6 || std::fabs(glyph.y) > 4e6)
          continue;
        glyphs.push_back(glyph);
        if (!glyphIndex) {
          // The glyph's characters (a surrogate pair's two units together).
          std::size_t units = i + 1 < n && layout.glyphs[i + 1] == text::kNoGlyph ? 2 : 1;
          std::size_t before = utf8.size();
          utf8 += tw::ToUtf8(text.substr(i, units));
          clusters.push_back({int(utf8.size() - before), 1});
        }
      }
      if (!glyphs.empty()) {
        cairo_set_font_face(cr_, face);
        cairo_set_font_matrix(cr_, &fm);
        SetSourceRgb(DeviceRgb(dc, s.textColor));
        if (outlineOnly) {
          cairo_new_path(cr_);
          cairo_glyph_path(cr_, glyphs.data(), int(glyphs.size()));
          cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
          cairo_fill(cr_);
          if (options_.onOutlineText && !glyphIndex) {
            layout.CellToDevice(px, py);
            options_.onOutlineText(text, px, py);
          }
        } else if (glyphIndex) {
          cairo_show_glyphs(cr_, glyphs.data(), int(glyphs.size()));
        } else {
          cairo_show_text_glyphs(cr_, utf8.data(), int(utf8.size()), glyphs.data(), int(glyphs.size()),
                                 clusters.data(), int(clusters.size()), cairo_text_cluster_flags_t(0));
        }
      }
    }
  }
  for (bool underline : {true, false}) {
    if (!layout.BarToDevice(underline, px, py)) continue;
    SetSourceRgb(DeviceRgb(dc, s.textColor));
    quadPath(cr_, px, py);
    cairo_fill(cr_);
  }
  if (options_.onLink && !(options & ETO_GLYPH_INDEX)) ReportLinks(layout, text);
  return true;
}

void CairoRecorder::ReportLinks(const text::TextLayout& layout, std::u16string_view text) {
  static constexpr std::u16string_view kPrefixes[] = {u"https://", u"http://", u"www.", u"mailto:"};
  std::size_t n = std::min(text.size(), layout.glyphs.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (std::iswalnum(text[i - 1]) || text[i - 1] == u'/' || text[i - 1] == u'.')) continue;
    std::u16string_view prefix;
    for (auto p : kPrefixes)
      if (startsWithNoCase(text, i, p)) {
        prefix = p;
        break;
      }
    if (prefix.empty()) continue;
    std::size_t j = i + prefix.size();
    while (j < n && !std::iswspace(text[j]) && text[j] != u'"' && text[j] != u'<' && text[j] != u'>') ++j;
    while (j > i + prefix.size() && std::u16string_view(u".,;:!?)]}'").find(text[j - 1]) != std::u16string_view::npos)
      --j;
    if (j == i + prefix.size()) continue;
    std::u16string url(text.substr(i, j - i));
    if (prefix == u"www.") url = u"http://" + url;
    double px[4], py[4];
    layout.RectToDevice(layout.ox + layout.penX[i], layout.ox + layout.penX[j], layout.oy - layout.ascent,
                        layout.oy + layout.descent, px, py);
    RECT box;
    quadBounds(px, py, box);
    options_.onLink(box, url);
    i = j;
  }
}

bool CairoRecorder::ExtTextOutW(Dc& dc, int x, int y, UINT options, const RECT* rect, std::u16string_view text,
                                const INT* dx) {
  if (dc.State().path.Building()) return true;  // text adds nothing to a path
  if (rect && (options & ETO_OPAQUE) && ApplyClip(dc)) {
    RECT r = *rect;
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    SetSourceRgb(DeviceRgb(dc, dc.State().bkColor));
    FillDeviceRects(LogicalRectRegion(dc, r).Rects());
  }
  if (text.empty()) return true;
  text::TextLayout layout;
  if (!text::LayoutText(dc, x, y, options, text, dx, layout)) return false;
  return DrawText(dc, layout, options, rect, text);
}

bool CairoRecorder::ExtTextOutA(Dc& dc, int x, int y, UINT options, const RECT* rect, std::string_view text,
                                const INT* dx) {
  auto font = text::RealizedFont::ForDc(dc);
  if (!font) return false;
  std::u16string wide;
  if (options & ETO_GLYPH_INDEX) {  // 8-bit glyph indices
    for (char c : text) wide.push_back(static_cast<unsigned char>(c));
  } else {
    wide = text::WidenAnsiText(*font, text);
    if (wide.size() != text.size()) dx = nullptr;  // only single-byte code pages keep one advance per byte
  }
  return ExtTextOutW(dc, x, y, options, rect, wide, dx);
}

bool CairoRecorder::PolyTextOutW(Dc& dc, std::span<const POLYTEXTW> items) {
  for (const auto& item : items)
    if (!ExtTextOutW(dc, item.x, item.y, item.uiFlags, &item.rcl, {item.lpstr ? item.lpstr : u"", item.n}, item.pdx))
      return false;
  return true;
}

bool CairoRecorder::PolyTextOutA(Dc& dc, std::span<const POLYTEXTA> items) {
  for (const auto& item : items)
    if (!ExtTextOutA(dc, item.x, item.y, item.uiFlags, &item.rcl, {item.lpstr ? item.lpstr : "", item.n}, item.pdx))
      return false;
  return true;
}

}  // namespace tw::gdi
