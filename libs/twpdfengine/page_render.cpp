// Drawing a written page: its layers played through the GDI layer's vector
// backend onto the document's cairo surface, the drawing the backend leaves
// to the raster engine placed as images, then the invisible text.
#include <cairo-ft.h>
#include <cairo-pdf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "codecs.h"
#include "document_impl.h"
#include "ocr_face.h"
#include "page_show.h"

namespace twpdf {
namespace {

// Drawing the vector backend could not express, not yet placed: the box
// and the record it runs to. Placed as one image just before the next
// vector drawing (or at the layer's end), so a run of such records becomes
// one picture.
struct PendingFallback {
  RECT box{};
  std::size_t record = 0;
  bool any = false;
};

struct LayerPlayback {
  Document* document = nullptr;
  HDC dc = nullptr;
  std::size_t record = 0;
  PendingFallback pending;
};

int CALLBACK playRecord(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM param) {
  auto* playback = reinterpret_cast<LayerPlayback*>(param);
  PlayEnhMetaFileRecord(hdc, table, record, UINT(handles));
  RECT box;
  if (tw::gdi::TakeFallbackRegion(hdc, box)) {
    PendingFallback& p = playback->pending;
    if (p.any) {
      box = {std::min(box.left, p.box.left), std::min(box.top, p.box.top), std::max(box.right, p.box.right),
             std::max(box.bottom, p.box.bottom)};
    }
    p = {box, playback->record, true};
  }
  ++playback->record;
  return 1;
}

struct StopAfter {
  std::size_t last = 0, record = 0;
};

int CALLBACK playUpTo(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM param) {
  auto* stop = reinterpret_cast<StopAfter*>(param);
  PlayEnhMetaFileRecord(hdc, table, record, UINT(handles));
  return stop->record++ < stop->last ? 1 : 0;
}

// Fallback pictures are made at most at this resolution and size: a page
// recorded for a device of thousands of DPI (damaged metafiles have them)
// must not make pictures of hundreds of megapixels.
constexpr double kFallbackMaxDpi = 300;
constexpr double kFallbackMaxPixels = 16e6;

// The raster engine's picture of `box` (page pixels) at `scale` pixels per
// page pixel: white, the layers before `layer`, and `layer`'s records up to
// `lastRecord`, as RGB24 for cairo.
cairo_surface_t* rasterBox(const std::vector<Document::Page::Layer>& layers, std::size_t layer,
                           std::size_t lastRecord, const RECT& box, double scale) {
  int w = int(std::ceil((box.right - box.left) * scale)), h = int(std::ceil((box.bottom - box.top) * scale));
  if (w <= 0 || h <= 0) return nullptr;
  BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dc || !bitmap) {
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    return nullptr;
  }
  HGDIOBJ old = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, w, h, WHITENESS);
  SetGraphicsMode(dc, GM_ADVANCED);
  for (std::size_t i = 0; i <= layer && i < layers.size(); ++i) {
    XFORM x;
    if (!LayerTransform(layers[i].metafile, layers[i].scaleX * scale, layers[i].scaleY * scale, x)) continue;
    x.eDx -= FLOAT(box.left * scale);
    x.eDy -= FLOAT(box.top * scale);
    SetWorldTransform(dc, &x);
    if (i < layer) {
      PlayEnhMetaFile(dc, layers[i].metafile, &kPlayRect);
    } else {
      StopAfter stop{lastRecord, 0};
      EnumEnhMetaFile(dc, layers[i].metafile, playUpTo, &stop, &kPlayRect);
    }
  }
  GdiFlush();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(surface);
    BYTE* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; ++y)
      std::memcpy(data + std::ptrdiff_t(y) * stride, static_cast<BYTE*>(bits) + std::ptrdiff_t(y) * w * 4, std::size_t(w) * 4);
    cairo_surface_mark_dirty(surface);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return surface;
}

void placeFallback(cairo_t* cr, const Document::Page& page, std::size_t layer, PendingFallback& pending) {
  if (!pending.any) return;
  pending.any = false;
  const RECT& box = pending.box;
  double area = double(box.right - box.left) * (box.bottom - box.top);
  double scale = std::min({1.0, kFallbackMaxDpi / std::max(page.xRes, page.yRes), std::sqrt(kFallbackMaxPixels / area)});
  cairo_surface_t* image = rasterBox(page.layers, layer, pending.record, box, scale);
  if (!image) return;
  if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
    // Under the page's own matrix, outside any clip of the metafile.
    cairo_save(cr);
    cairo_reset_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_rectangle(cr, box.left, box.top, box.right - box.left, box.bottom - box.top);
    cairo_clip(cr);
    cairo_translate(cr, box.left, box.top);
    cairo_scale(cr, 1 / scale, 1 / scale);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);
  }
  cairo_surface_destroy(image);
}

// cairo's A1 rows (first pixel in the low bit) as Group 4 input (first
// pixel in the high bit, 1 = ink).
std::vector<BYTE> stencilRows(cairo_surface_t* surface, int w, int h, std::size_t& line) {
  line = (std::size_t(w) + 7) / 8;
  std::vector<BYTE> rows(line * std::size_t(h));
  const BYTE* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < line; ++i) {
      BYTE b = data[std::ptrdiff_t(y) * stride + std::ptrdiff_t(i)], r = 0;
      for (int k = 0; k < 8; ++k)
        if (b & (1 << k)) r |= BYTE(0x80 >> k);
      rows[std::size_t(y) * line + i] = r;
    }
  return rows;
}

bool attach(cairo_surface_t* surface, const char* mime, std::vector<BYTE> data) {
  if (data.empty()) return false;
  auto* held = new std::vector<BYTE>(std::move(data));
  if (cairo_surface_set_mime_data(surface, mime, held->data(), held->size(),
                                  [](void* p) { delete static_cast<std::vector<BYTE>*>(p); }, held) != CAIRO_STATUS_SUCCESS) {
    delete held;
    return false;
  }
  return true;
}

// Images in the document: one-bit images as Group 4, others as JPEG, when
// the settings ask for it (cairo stores the coded data as it is).
void codeImage(const Settings& settings, tw::gdi::CairoImage& image) {
  using Kind = tw::gdi::CairoImage::Kind;
  cairo_surface_flush(image.surface);
  if (image.kind == Kind::Stencil && settings.monoImageFilter == 307) {
    std::size_t line;
    std::vector<BYTE> rows = stencilRows(image.surface, image.width, image.height, line);
    if (attach(image.surface, CAIRO_MIME_TYPE_CCITT_FAX, EncodeG4(rows, image.width, image.height))) {
      std::string params = "Columns=" + std::to_string(image.width) + " Rows=" + std::to_string(image.height) +
                           " K=-1 BlackIs1=true";
      attach(image.surface, CAIRO_MIME_TYPE_CCITT_FAX_PARAMS, std::vector<BYTE>(params.begin(), params.end()));
    }
  } else if ((image.kind == Kind::Rgb || image.kind == Kind::Gray) && settings.colorImageFilter == 207 &&
             image.width >= 16 && image.height >= 16) {  // smaller pictures gain nothing from JPEG
    int components = image.kind == Kind::Gray ? 1 : 3;
    std::vector<BYTE> rows(std::size_t(image.width) * image.height * components);
    const BYTE* data = cairo_image_surface_get_data(image.surface);
    int stride = cairo_image_surface_get_stride(image.surface);
    for (int y = 0; y < image.height; ++y) {
      auto* in = reinterpret_cast<const std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
      BYTE* out = rows.data() + std::size_t(y) * image.width * components;
      for (int x = 0; x < image.width; ++x) {
        std::uint32_t p = in[x];
        if (components == 1) {
          out[x] = BYTE(p);
        } else {
          out[3 * x] = BYTE(p >> 16), out[3 * x + 1] = BYTE(p >> 8), out[3 * x + 2] = BYTE(p);
        }
      }
    }
    attach(image.surface, CAIRO_MIME_TYPE_JPEG,
           EncodeJpeg(rows.data(), std::size_t(image.width) * components, image.width, image.height, components,
                      settings.colorImageQuality));
  }
}

}  // namespace

bool Document::RenderPage(Page& page, double widthPt, double heightPt) {
  page.CloseOps();
  // The page is drawn into a recording of its own while the page before is
  // still being shown; the recording is then painted onto the document.
  const cairo_rectangle_t extents{0, 0, widthPt, heightPt};
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> recording(
      cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents), cairo_surface_destroy);
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(recording.get()), cairo_destroy);
  cairo_t* cr = context.get();
  // Page pixels -> points, mirrored when the settings ask.
  cairo_matrix_t m;
  cairo_matrix_init_scale(&m, 72.0 / page.xRes, 72.0 / page.yRes);
  if (settings_.flipHorizontal) {
    cairo_matrix_translate(&m, page.width, 0);
    cairo_matrix_scale(&m, -1, 1);
  }
  if (settings_.flipVertical) {
    cairo_matrix_translate(&m, 0, page.height);
    cairo_matrix_scale(&m, 1, -1);
  }
  cairo_set_matrix(cr, &m);
  if (settings_.whiteBackground) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, 0, 0, page.width, page.height);
    cairo_fill(cr);
  }

  Written written;
  written.position = page.position;
  written.widthPt = widthPt;
  written.heightPt = heightPt;
  tw::gdi::CairoDcOptions options;
  options.width = page.width;
  options.height = page.height;
  options.dpiX = page.xRes;
  options.dpiY = page.yRes;
  options.color = settings_.colorDepth == 0   ? tw::gdi::CairoDcOptions::Color::Mono
                  : settings_.colorDepth == 2 ? tw::gdi::CairoDcOptions::Color::Gray
                                              : tw::gdi::CairoDcOptions::Color::Rgb;
  options.ditherImages = settings_.dithering != 0;
  if (settings_.intensity != 100) {
    int b = std::min(settings_.intensity, 199) - 100;
    options.brightness = b;
    options.contrast = std::min(2 * std::abs(b), 100);
  }
  options.skipNotdef = settings_.pdfType == 2;
  options.embedRestrictedFonts = settings_.embedLicensed;
  options.forbiddenFonts = settings_.forbidEmbed;
  options.fonts = fonts_;
  const Settings& settings = settings_;
  options.onImage = [&settings](tw::gdi::CairoImage& image) { codeImage(settings, image); };
  options.onOutlineText = [&page](std::u16string_view text, const double (&px)[4], const double (&py)[4]) {
    double x0 = *std::min_element(px, px + 4), x1 = *std::max_element(px, px + 4);
    double y0 = *std::min_element(py, py + 4), y1 = *std::max_element(py, py + 4);
    page.words.push_back({x0, y0, x1, y1, std::u16string(text), 0});
  };
  // Page pixels -> PDF user space (y up), as the page matrix places them.
  auto toPdf = [&](double x, double y, double& px, double& py) {
    cairo_matrix_transform_point(&m, &x, &y);
    px = x, py = heightPt - y;
  };
  if (settings_.urlParsing) {
    options.onLink = [&](const RECT& box, std::u16string_view url) {
      double ax, ay, bx, by;
      toPdf(box.left, box.top, ax, ay);
      toPdf(box.right, box.bottom, bx, by);
      written.links.push_back({std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by), std::u16string(url)});
    };
  }

  bool ok = true;
  LayerPlayback playback;
  playback.document = this;
  std::size_t layerIndex = 0;
  options.onBeforeDraw = [&]() { placeFallback(cr, page, layerIndex, playback.pending); };
  HDC dc = tw::gdi::CreateCairoDC(cr, options);
  if (!dc) ok = Fail(PDF_ERROR_DRAWING);
  for (layerIndex = 0; ok && layerIndex < page.layers.size(); ++layerIndex) {
    const Page::Layer& layer = page.layers[layerIndex];
    XFORM x;
    if (!LayerTransform(layer.metafile, layer.scaleX, layer.scaleY, x)) continue;
    SetGraphicsMode(dc, GM_ADVANCED);
    SetWorldTransform(dc, &x);
    playback.dc = dc;
    playback.record = 0;
    // A damaged metafile draws what it can; its page goes on.
    EnumEnhMetaFile(dc, layer.metafile, playRecord, &playback, &kPlayRect);
    placeFallback(cr, page, layerIndex, playback.pending);
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
  }
  if (dc) DeleteDC(dc);

  if (ok && !page.words.empty()) {
    written.invisibleText = true;
    DrawInvisibleWords(cr, page.words);
  }
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) ok = Fail(PDF_ERROR_DRAWING);
  context.reset();
  // The page before is shown by now, or its failure is this page's.
  if (!show_->Wait()) ok = Fail(PDF_ERROR_DRAWING);
  if (ok) written_.push_back(std::move(written));
  show_->Start(cr_, recording.release(), widthPt, heightPt);
  return ok;
}

void Document::DrawInvisibleWords(cairo_t* cr, const std::vector<InvisibleWord>& words) {
  if (!ocrFaceTried_) {
    ocrFaceTried_ = true;
    ocrFace_ = OcrFace::Create();
  }
  if (!ocrFace_) return;
  cairo_set_font_face(cr, ocrFace_->Face());
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (const InvisibleWord& word : words) {
    std::vector<cairo_glyph_t> glyphs;
    std::vector<cairo_text_cluster_t> clusters;
    std::string utf8;
    double advance = 0;
    if (!ocrFace_->Lay(word.text, glyphs, clusters, utf8, advance) || advance <= 0) continue;
    double em = word.fontSize > 0 ? word.fontSize : word.bottom - word.top;
    double stretch = (word.right - word.left) / (advance * em);
    if (!(em > 0) || !(stretch > 0) || !std::isfinite(stretch)) continue;
    cairo_matrix_t fm;
    cairo_matrix_init(&fm, em * stretch, 0, 0, em, 0, 0);
    cairo_set_font_matrix(cr, &fm);
    for (cairo_glyph_t& g : glyphs) {
      g.x = word.left + g.x * em * stretch;
      g.y = word.bottom;
    }
    cairo_show_text_glyphs(cr, utf8.data(), int(utf8.size()), glyphs.data(), int(glyphs.size()), clusters.data(),
                           int(clusters.size()), cairo_text_cluster_flags_t(0));
  }
}

}  // namespace twpdf
