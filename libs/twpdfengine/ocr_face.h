// The face of the invisible text layer (OCR words, and the text of fonts
// drawn as outlines): the installed Liberation Sans (or whatever face the
// GDI layer gives for it) renamed "TwOcrText", so the end of the save finds
// its text by the font name and makes it invisible (text render mode 3).
// Embedded, with the characters mapped: the text can be selected and found.
#pragma once
#include <cairo.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace twpdf {

inline constexpr char kOcrFontName[] = "TwOcrText";

class OcrFace {
 public:
  // Null when no face can be had.
  static std::unique_ptr<OcrFace> Create();
  ~OcrFace();
  OcrFace(const OcrFace&) = delete;
  OcrFace& operator=(const OcrFace&) = delete;

  cairo_font_face_t* Face() const { return face_; }
  // The glyphs of `text` with x in ems from the start of the word (y 0),
  // cairo's clusters and UTF-8 for them, and the word's advance in ems;
  // false when the face maps none of its characters.
  bool Lay(std::u16string_view text, std::vector<cairo_glyph_t>& glyphs, std::vector<cairo_text_cluster_t>& clusters,
           std::string& utf8, double& advance) const;

 private:
  OcrFace() = default;
  struct Held;
  cairo_font_face_t* face_ = nullptr;
  Held* held_ = nullptr;  // freed with the cairo face
};

}  // namespace twpdf
