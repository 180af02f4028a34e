// The GDI layer's vector backend: a device context whose drawing calls go to
// a cairo context instead of pixels. The metafile player drives it like any
// other DC, so a page's records become vector paths, real text (glyphs of
// the same faces at the same places as the raster engine puts them) and
// images. The DC has no pixels: it cannot be a blit source.
//
// Device pixels are cairo user units: the caller sets the cairo context's
// matrix that takes a page pixel to its place (for PDF, 72 / dpi points per
// pixel) before making the DC, and leaves it alone while the DC lives.
//
// What the backend cannot express exactly (XOR and the other raster
// operations that read the page, flood fills) it does not draw: it records
// the device box, which the caller takes with TakeFallbackRegion after each
// record and renders with the raster engine.
#pragma once
#include <cairo.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tw/wintypes.h"
#include "wingdi.h"

namespace tw::gdi {

// An image about to be placed on the page. The owner may attach compressed
// data of the same pixels (cairo_surface_set_mime_data: JPEG, CCITT) so the
// document stores that instead of the raw pixels.
struct CairoImage {
  enum class Kind {
    Stencil,  // CAIRO_FORMAT_A1 mask: set bits are ink (drawn in one colour)
    Gray,     // CAIRO_FORMAT_RGB24 whose pixels are all grey
    Rgb,      // CAIRO_FORMAT_RGB24
    Argb,     // CAIRO_FORMAT_ARGB32 (premultiplied)
  };
  cairo_surface_t* surface = nullptr;
  Kind kind = Kind::Rgb;
  int width = 0;
  int height = 0;
};

// Faces opened for one document: each face once, closed when the last
// cairo object using it goes (fonts are subset when the document ends).
class CairoFonts;
TWCPPAPI std::shared_ptr<CairoFonts> CreateCairoFonts();

struct CairoDcOptions {
  int width = 0;  // the page in device pixels (GetDeviceCaps HORZRES / VERTRES)
  int height = 0;
  double dpiX = 300;  // LOGPIXELSX / LOGPIXELSY
  double dpiY = 300;

  // Colours: as given, grey (vector colours and images), or black and white
  // (vector colours grey, images one bit: threshold 128, or error diffusion).
  enum class Color { Rgb, Gray, Mono };
  Color color = Color::Rgb;
  bool ditherImages = false;
  // Images only, -100..100 each (0: unchanged).
  int brightness = 0;
  int contrast = 0;

  // Never draw a font's .notdef glyph (PDF/A).
  bool skipNotdef = false;
  // Faces whose embedding licence forbids it (fsType restricted or bitmap
  // only) are embedded anyway when this is set; otherwise they are drawn as
  // outlines, and so are the families in `forbiddenFonts`.
  bool embedRestrictedFonts = false;
  std::vector<std::u16string> forbiddenFonts;

  std::shared_ptr<CairoFonts> fonts;  // required: the document's faces

  // Each image before it is placed.
  std::function<void(CairoImage& image)> onImage;
  // Text drawn as outlines: its characters and the device cell, so the owner
  // can lay invisible searchable text over it.
  std::function<void(std::u16string_view text, const double (&px)[4], const double (&py)[4])> onOutlineText;
  // Called before each drawing goes to cairo: the owner can first place what
  // it rendered for the fallback regions taken so far, keeping the order.
  std::function<void()> onBeforeDraw;
  // With this set, every URL in a text record ("http://", "https://", "www.",
  // "mailto:" up to the next blank) is reported with its device box.
  std::function<void(const RECT& box, std::u16string_view url)> onLink;
};

// A DC drawing into `cr` (GetObjectType OBJ_ENHMETADC: it has no pixels).
// Delete it with DeleteDC before the cairo context. Null with the last error
// set for a bad size, resolution or missing font set.
TWCPPAPI HDC CreateCairoDC(cairo_t* cr, const CairoDcOptions& options);

// The device box of the drawing the DC could not express since the last
// call; false when there was none.
TWCPPAPI bool TakeFallbackRegion(HDC hdc, RECT& box);

// A DC without pixels whose capabilities are exactly this page: a reference
// device for metafiles recorded for the page, and for measuring text on it.
TWCPPAPI HDC CreatePageReferenceDC(int width, int height, double dpiX, double dpiY);

}  // namespace tw::gdi
