// What the PDF writers take from areas that are not built yet (image
// watermarks, text stamps, OCR), and the image watermark's drawing on a PDF
// page. The seams are called at their steps, do nothing and report success
// (a question answers "none"); pdf_seams.cpp holds them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "job/devmode/tarnwick_devmode.h"

class CTWJob;
class CTWFile;
class CPDFPage;

namespace tw::output {

// --- image watermark --------------------------------------------------------------
// Seam: the context holding the page's image watermark bitmap (made once per
// document into `dcs`, released by ReleaseWatermarkDCs); null: none.
HDC GetWatermarkDC(CTWJob& job, const TarnwickDEVMODE& record, HDC (&dcs)[4]);
void ReleaseWatermarkDCs(HDC (&dcs)[4]);
// Seam: the placement code of the page's image watermark (first-page,
// portrait or landscape position); empty when nothing is placed on this page.
std::optional<DWORD> WatermarkPlacement(CTWJob& job, const TarnwickDEVMODE& record);

// The rectangles (page pixels) the image watermark's bitmap of w x h goes to
// on a page of W x H (paperWidth: the record's page width in pixels), by its
// placement code; each is drawn from `source` (the bitmap's part).
struct WatermarkBlit {
  RECT target;
  RECT source;
  bool stretch;
};
std::vector<WatermarkBlit> WatermarkLayout(DWORD placement, SIZE page, SIZE bitmap, LONG paperWidth);

// --- text watermark, OCR ------------------------------------------------------------
// Seam: the text watermark drawn on the PDF page of `size` pixels.
BOOL DrawTextWatermarkToPDF(CTWJob& job, const TarnwickDEVMODE& record, CPDFPage& page, SIZE size);

struct OcrWord {
  RECT rect;             // page pixels
  std::u16string text;
  double size = 0;       // points
};
// Seam: the words the OCR engine found on the page (the second engine for a
// metafile page, the first for a raw page).
std::vector<OcrWord> GetOcrWords(CTWJob& job, bool secondEngine);

}  // namespace tw::output

// Draws the image watermark held by `hdc` on the PDF page of `size` pixels,
// by the page's placement and rotation.
BOOL PrintWatermarkToPDF(CTWFile& writer, HDC hdc, CPDFPage& page, SIZE size, CTWJob& job);
