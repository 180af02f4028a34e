// Internal to the engine: the open page and what a written page leaves for
// the end of the save.
#pragma once
#include <optional>
#include <utility>
#include <vector>

#include "document.h"

namespace twpdf {

struct Document::Page {
  Page() = default;
  ~Page();
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  unsigned long long id = 0;
  int position = 0;  // 1-based place in the finished document
  int width = 0, height = 0;
  double xRes = 300, yRes = 300;
  std::optional<std::pair<double, double>> sizePt;

  // A metafile played onto the page: its reference pixels times the scale
  // give page pixels.
  struct Layer {
    HENHMETAFILE metafile = nullptr;  // the engine's own copy
    double scaleX = 1, scaleY = 1;
  };
  std::vector<Layer> layers;

  // The page's own drawing (CPDFPage's DC calls), recorded as a metafile of
  // the page's size; closed into a layer when a metafile layer follows or
  // the page is written, so everything keeps its order.
  HDC ops = nullptr;
  struct OpsState {
    int graphicsMode = GM_COMPATIBLE;
    XFORM world{1, 0, 0, 1, 0, 0};
    int bkMode = OPAQUE;
    COLORREF textColor = RGB(0, 0, 0);
    UINT textAlign = TA_LEFT | TA_TOP;
    HGDIOBJ font = nullptr;
  };
  std::optional<OpsState> opsState;  // what the last closed recording left set
  std::vector<HFONT> fonts;          // made by the engine for this page

  bool ocrOpen = false;
  std::vector<InvisibleWord> words;  // OCR words and the text of outline-only fonts

  // Closes the page's recording into a layer.
  void CloseOps();
};

struct Document::Written {
  int position = 0;
  double widthPt = 0, heightPt = 0;
  struct Link {
    double x0, y0, x1, y1;  // PDF user space (points, origin bottom left)
    std::u16string url;
  };
  std::vector<Link> links;
  bool invisibleText = false;
};

// Where a metafile's reference pixel p lands on the page: (p - the frame's
// top left) x scale, so the frame's corner is the page's and every layer
// keeps its own resolution. As a world transform for playing the metafile
// into the rectangle kPlayRect: the player maps the frame onto that
// rectangle, this transform takes it on.
inline constexpr RECT kPlayRect{0, 0, 65536, 65536};
bool LayerTransform(HENHMETAFILE metafile, double scaleX, double scaleY, XFORM& out);

// Size (reference pixels, from the frame and the device's exact size) and
// resolution (dots per inch, as the vector page preparation computes it) of
// a metafile page; false when the header cannot give them.
bool MetafilePage(HENHMETAFILE metafile, double& width, double& height, double& dpiX, double& dpiY);

}  // namespace twpdf
