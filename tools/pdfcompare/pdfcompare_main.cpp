// pdfcompare: the shared corpus through the vector PDF path. Each metafile
// is rendered by the raster renderer and, through the PDF engine and
// pdftoppm, as a PDF page; both are compared with the reference rendering
// (and with each other) by emfcompare's figure.
//
//   pdfcompare --corpus DIR [--markdown FILE] [--work DIR] [--save DIR] [NAME...]
//
// --save keeps the PDF pages' pictures (and the raster renderer's) to look at.
//
// Prints one line per file and the share of the files within tolerance
// through the PDF among those the raster renderer has within tolerance.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "emf_render.h"
#include "image_compare.h"
#include "pdf_render.h"

namespace fs = std::filesystem;
using namespace twtools;

int main(int argc, char** argv) {
  fs::path corpus, markdown, save, work = fs::temp_directory_path() / "pdfcompare";
  std::vector<std::string> only;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--corpus" && i + 1 < argc) corpus = argv[++i];
    else if (a == "--markdown" && i + 1 < argc) markdown = argv[++i];
    else if (a == "--work" && i + 1 < argc) work = argv[++i];
    else if (a == "--save" && i + 1 < argc) save = argv[++i];
    else if (!a.empty() && a[0] != '-') only.push_back(a);
    else corpus.clear(), i = argc;
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "usage: pdfcompare --corpus DIR [--markdown FILE] [--work DIR] [--save DIR] [NAME...]\n");
    return 2;
  }
  const double tolerance = 0.90;
  // References the corpus says are wrong are left out, as emfcompare does.
  const std::vector<std::string> wrong = {"emf/test-043.emf", "emf/test-047.emf"};
  std::vector<std::string> names;
  for (const char* sub : {"emf", "emf-ea"}) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(corpus / sub, ec))
      if (e.path().extension() == ".emf") names.push_back(std::string(sub) + "/" + e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::ofstream md;
  if (!markdown.empty()) {
    md.open(markdown);
    md << "| file | raster vs reference | PDF vs reference | PDF vs raster |\n|---|---:|---:|---:|\n";
  }
  int rasterPasses = 0, bothPass = 0, pdfMatchesRaster = 0, counted = 0;
  for (const std::string& name : names) {
    if (!only.empty() && std::none_of(only.begin(), only.end(), [&](const std::string& o) { return name.find(o) != std::string::npos; }))
      continue;
    if (std::find(wrong.begin(), wrong.end(), name) != wrong.end()) continue;
    std::string sub = name.substr(0, name.find('/'));
    fs::path emf = corpus / name, ref = corpus / "ref" / sub / (fs::path(name).stem().string() + ".png");
    RgbImage reference, raster, pdf;
    std::string error;
    if (!ReadPng(ref, reference, error)) continue;
    RenderOptions options;
    options.width = reference.width;
    options.height = reference.height;
    RenderResult r = RenderEmfFile(emf, options, raster);
    PdfRenderResult p = RenderEmfThroughPdf(emf, reference.width, reference.height, work, pdf);
    double rasterRef = r.rendered ? CompareImages(raster, reference).coarse : 0;
    double pdfRef = p.rendered ? CompareImages(pdf, reference).coarse : 0;
    double pdfRaster = p.rendered && r.rendered ? CompareImages(pdf, raster).coarse : 0;
    if (!save.empty()) {
      fs::create_directories(save);
      std::string base = name;
      std::replace(base.begin(), base.end(), '/', '_');
      if (p.rendered) WritePng(save / (base + ".pdf.png"), pdf, error);
      if (r.rendered) WritePng(save / (base + ".raster.png"), raster, error);
    }
    ++counted;
    bool rasterOk = rasterRef >= tolerance, pdfOk = pdfRef >= tolerance;
    rasterPasses += rasterOk;
    bothPass += rasterOk && pdfOk;
    pdfMatchesRaster += pdfRaster >= tolerance;
    std::printf("%-32s raster %.3f  pdf %.3f  pdf/raster %.3f  %.2f s %s\n", name.c_str(), rasterRef, pdfRef, pdfRaster,
                p.engineSeconds, p.error.c_str());
    std::fflush(stdout);
    if (md) md << "| " << name << " | " << rasterRef << " | " << pdfRef << " | " << pdfRaster << " |\n";
  }
  std::printf("\n%d files; raster renderer within tolerance: %d; of those also through the PDF: %d (%.1f %%); "
              "PDF within tolerance of the raster rendering: %d (%.1f %%)\n",
              counted, rasterPasses, bothPass, rasterPasses ? 100.0 * bothPass / rasterPasses : 0.0, pdfMatchesRaster,
              counted ? 100.0 * pdfMatchesRaster / counted : 0.0);
  return 0;
}
