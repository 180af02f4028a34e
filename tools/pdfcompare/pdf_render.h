// A metafile as the vector PDF path draws it: played onto a PDF page by the
// PDF engine (the page's size and resolution from the metafile), then
// rasterised by poppler's pdftoppm at a given pixel size, for comparing with
// the raster renderer and the references.
#pragma once
#include <filesystem>
#include <string>

#include "image_io.h"

namespace twtools {

struct PdfRenderResult {
  bool rendered = false;
  std::string error;
  double engineSeconds = 0;  // the engine's part (PDF written)
};

// `work` is a folder for the PDF and the picture (removed afterwards).
PdfRenderResult RenderEmfThroughPdf(const std::filesystem::path& emf, int width, int height,
                                    const std::filesystem::path& work, RgbImage& image);

}  // namespace twtools
