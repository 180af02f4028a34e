#include "ocr_face.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <windows.h>

#include "sfnt.h"
#include "tw/gdi_cairo.h"
#include "tw/utf.h"

namespace twpdf {

struct OcrFace::Held {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  std::vector<BYTE> bytes;  // FreeType reads the face from them
  ~Held() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

namespace {

// The bytes of the face the GDI layer draws "Liberation Sans" with.
std::vector<BYTE> sansFontFile() {
  std::vector<BYTE> bytes;
  HDC dc = tw::gdi::CreatePageReferenceDC(100, 100, 72, 72);
  if (!dc) return bytes;
  LOGFONTW lf{};
  lf.lfHeight = -12;
  lf.lfWeight = FW_NORMAL;
  const char16_t face[] = u"Liberation Sans";
  std::copy(std::begin(face), std::end(face), lf.lfFaceName);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  DWORD size = GetFontData(dc, 0, 0, nullptr, 0);
  if (size != GDI_ERROR && size > 0 && size < (64u << 20)) {
    bytes.resize(size);
    if (GetFontData(dc, 0, 0, bytes.data(), size) != size) bytes.clear();
  }
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  return bytes;
}

}  // namespace

std::unique_ptr<OcrFace> OcrFace::Create() {
  Sfnt font;
  std::vector<BYTE> file = sansFontFile();
  if (file.empty() || !ReadSfnt(file, font)) return nullptr;
  RenameFont(font, kOcrFontName);
  auto held = std::make_unique<Held>();
  held->bytes = WriteSfnt(std::move(font));
  if (FT_Init_FreeType(&held->library) ||
      FT_New_Memory_Face(held->library, held->bytes.data(), FT_Long(held->bytes.size()), 0, &held->face))
    return nullptr;
  std::unique_ptr<OcrFace> out(new OcrFace);
  out->face_ = cairo_ft_font_face_create_for_ft_face(held->face, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
  static cairo_user_data_key_t key;
  if (cairo_font_face_status(out->face_) != CAIRO_STATUS_SUCCESS ||
      cairo_font_face_set_user_data(out->face_, &key, held.get(), [](void* p) { delete static_cast<Held*>(p); }) !=
          CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(out->face_);
    out->face_ = nullptr;
    return nullptr;
  }
  out->held_ = held.release();
  return out;
}

OcrFace::~OcrFace() {
  if (face_) cairo_font_face_destroy(face_);
}

bool OcrFace::Lay(std::u16string_view text, std::vector<cairo_glyph_t>& glyphs,
                  std::vector<cairo_text_cluster_t>& clusters, std::string& utf8, double& advance) const {
  FT_Face face = held_->face;
  double upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
  advance = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    std::size_t units = 1;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      units = 2;
    }
    FT_UInt g = FT_Get_Char_Index(face, c);
    std::u16string_view chars = text.substr(i, units);
    i += units - 1;
    if (g == 0) continue;  // never the .notdef glyph
    FT_Fixed advanceUnits = 0;
    FT_Get_Advance(face, g, FT_LOAD_NO_SCALE, &advanceUnits);
    std::size_t before = utf8.size();
    utf8 += tw::ToUtf8(chars);
    glyphs.push_back({g, advance, 0});
    clusters.push_back({int(utf8.size() - before), 1});
    advance += advanceUnits / upem;
  }
  return !glyphs.empty();
}

}  // namespace twpdf
