// Stand-ins for the areas the PDF writers call that are not built yet:
// the image watermark's bitmap and placement, the text watermark on a PDF
// page and the OCR words of a page.
#include "output/pdf/pdf_seams.h"

namespace tw::output {

HDC GetWatermarkDC(CTWJob&, const TarnwickDEVMODE&, HDC (&)[4]) { return nullptr; }
void ReleaseWatermarkDCs(HDC (&dcs)[4]) {
  for (HDC& dc : dcs) {
    if (dc) DeleteDC(dc);
    dc = nullptr;
  }
}
std::optional<DWORD> WatermarkPlacement(CTWJob&, const TarnwickDEVMODE&) { return std::nullopt; }
BOOL DrawTextWatermarkToPDF(CTWJob&, const TarnwickDEVMODE&, CPDFPage&, SIZE) { return TRUE; }
std::vector<OcrWord> GetOcrWords(CTWJob&, bool) { return {}; }

}  // namespace tw::output
