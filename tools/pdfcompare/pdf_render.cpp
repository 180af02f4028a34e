#include "pdf_render.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tw/pathmap.h"
#include "tw_pdf_interface.h"

namespace twtools {

PdfRenderResult RenderEmfThroughPdf(const std::filesystem::path& emf, int width, int height,
                                    const std::filesystem::path& work, RgbImage& image) {
  PdfRenderResult result;
  std::ifstream in(emf, std::ios::binary);
  std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
  HENHMETAFILE h = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
  if (!h) {
    result.error = "not a metafile";
    return result;
  }
  std::filesystem::create_directories(work);
  std::filesystem::path pdf = work / "page.pdf", png = work / "page";
  std::u16string name = tw::path::FromHost(pdf);
  auto t0 = std::chrono::steady_clock::now();
  CPDFInt* engine = CPDFInt::CreateInterface();
  CPDF* doc = engine ? engine->GetPDF() : nullptr;
  bool ok = doc && doc->StartSavePDFFileW(name.c_str()) && engine->LoadMetaFile(h) && engine->ExecuteMetaFile(1, 1, TRUE);
  if (ok) {
    CPDFPage page = doc->GetPage(1);
    ok = doc->WritePageToPDFFile(page) && doc->EndSavePDFFile();
  }
  if (!ok) result.error = "engine error " + std::to_string(engine ? engine->GetLastError() : -1);
  if (engine) engine->Destroy();
  DeleteEnhMetaFile(h);
  result.engineSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!ok) return result;
  // Lines thinner than a pixel are drawn a pixel wide, as GDI draws
  // cosmetic pens and printers print hairlines.
  std::string command = "pdftoppm -thinlinemode shape -png -singlefile -scale-to-x " + std::to_string(width) + " -scale-to-y " +
                        std::to_string(height) + " '" + pdf.string() + "' '" + png.string() + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) {
    result.error = "pdftoppm failed";
    return result;
  }
  result.rendered = ReadPng(png.string() + ".png", image, result.error);
  std::error_code ec;
  std::filesystem::remove(pdf, ec);
  std::filesystem::remove(png.string() + ".png", ec);
  return result;
}

}  // namespace twtools
