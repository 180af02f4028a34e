// Internal: the faces of one document for cairo. Each matched font file is
// opened once (its own FreeType face, so cairo never shares one with the
// raster engine's realised fonts) and closed when cairo lets go of it, which
// for a PDF surface is after the fonts were subset at the document's end.
#pragma once
#include <cairo.h>

#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "../text/font_registry.h"

namespace tw::gdi {

class CairoFonts {
 public:
  CairoFonts() = default;
  ~CairoFonts();
  CairoFonts(const CairoFonts&) = delete;
  CairoFonts& operator=(const CairoFonts&) = delete;

  struct Face {
    cairo_font_face_t* face = nullptr;  // null when the file cannot be opened
    unsigned fsType = 0;                // the OS/2 embedding flags
  };
  // The face of a matched font, emboldened when the match asks for it.
  Face Get(const std::shared_ptr<const text::FaceInfo>& info, bool synthBold);

 private:
  std::mutex mutex_;
  std::map<std::pair<const text::FaceInfo*, bool>, Face> faces_;
  std::vector<std::shared_ptr<const text::FaceInfo>> keep_;  // the map's keys stay valid
};

}  // namespace tw::gdi
