// Helpers for the PDF engine's tests: text pages as metafiles, documents
// written through CPDFInt / CPDF as the writers drive them, and paths of the
// test's machine root.
#pragma once
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "pdf_tools.h"
#include "tw/gdi_cairo.h"
#include "tw/pathmap.h"
#include "tw_pdf_interface.h"
#include "tw_test.h"

namespace pdftest {

// Owns a metafile handle.
struct Metafile {
  HENHMETAFILE h = nullptr;
  Metafile() = default;
  explicit Metafile(HENHMETAFILE handle) : h(handle) {}
  ~Metafile() {
    if (h) DeleteEnhMetaFile(h);
  }
  Metafile(Metafile&& o) noexcept : h(o.h) { o.h = nullptr; }
  Metafile& operator=(Metafile&& o) noexcept {
    std::swap(h, o.h);
    return *this;
  }
};

// A page of `width` x `height` pixels at `dpi` recorded as a metafile, the
// way the driver records pages: `draw` gets the metafile DC.
inline Metafile RecordPage(const std::function<void(HDC)>& draw, int width = 2550, int height = 3300, int dpi = 300) {
  HDC reference = tw::gdi::CreatePageReferenceDC(width, height, dpi, dpi);
  RECT frame{0, 0, LONG(width * 2540.0 / dpi + 0.5), LONG(height * 2540.0 / dpi + 0.5)};
  HDC dc = CreateEnhMetaFileW(reference, nullptr, &frame, nullptr);
  DeleteDC(reference);
  draw(dc);
  return Metafile(CloseEnhMetaFile(dc));
}

inline HFONT MakeFont(const char16_t* face, int height, int weight = FW_NORMAL) {
  LOGFONTW lf{};
  lf.lfHeight = -height;
  lf.lfWeight = weight;
  std::u16string name(face);
  std::copy(name.begin(), name.end(), lf.lfFaceName);
  return CreateFontIndirectW(&lf);
}

// Lines of 10-point text from a half-inch margin, one line per 1/6 inch.
inline Metafile TextPage(const std::vector<std::u16string>& lines, const char16_t* face = u"Courier New",
                         int width = 2550, int height = 3300, int dpi = 300) {
  return RecordPage(
      [&](HDC dc) {
        HFONT font = MakeFont(face, 10 * dpi / 72);
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        for (std::size_t i = 0; i < lines.size(); ++i)
          TextOutW(dc, dpi / 2, dpi / 2 + int(i) * dpi / 6, reinterpret_cast<LPCWSTR>(lines[i].c_str()), int(lines[i].size()));
        SelectObject(dc, old);
        DeleteObject(font);
      },
      width, height, dpi);
}

// The host file behind a Windows path of the test's root.
inline std::filesystem::path Host(std::u16string_view path) {
  std::filesystem::path host;
  tw::path::ToHost(path, host);
  return host;
}

// C:\out in a fresh root.
class OutFolder {
 public:
  OutFolder() { std::filesystem::create_directories(Host(u"C:\\out")); }
  std::filesystem::path Dir() const { return Host(u"C:\\out"); }

 private:
  twtest::TempRoot root_;
};

// An interface and its document, destroyed with the test.
struct Engine {
  CPDFInt* pdf = CPDFInt::CreateInterface();
  CPDF* doc = pdf ? pdf->GetPDF() : nullptr;
  ~Engine() {
    if (pdf) pdf->Destroy();
  }
  Engine() = default;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The writers' page: the metafile becomes page `n`, then it is written.
  bool AddMetafilePage(HENHMETAFILE emf, int n) {
    if (!pdf->LoadMetaFile(emf) || !pdf->ExecuteMetaFile(1, n, TRUE)) return false;
    pdf->CloseMetaFile();
    CPDFPage page = doc->GetPage(n);
    return page.IsLegal() && doc->WritePageToPDFFile(page);
  }
};

// Writes `pages` to `name` (a Windows path), `configure` applied before the
// save starts; false with the engine error in `error`.
inline bool WriteDocument(const std::u16string& name, const std::vector<const Metafile*>& pages,
                          const std::function<void(CPDFInt&, CPDF&)>& configure = {}, int* error = nullptr) {
  Engine e;
  if (configure) configure(*e.pdf, *e.doc);
  bool ok = e.doc->StartSavePDFFileW(reinterpret_cast<LPCWSTR>(name.c_str()));
  int first = ok ? e.doc->GetNumberOfPages() + 1 : 0;
  for (std::size_t i = 0; ok && i < pages.size(); ++i) ok = e.AddMetafilePage(pages[i]->h, first + int(i));
  ok = ok && e.doc->EndSavePDFFile();
  if (error) *error = e.doc->GetLastError();
  return ok;
}

inline std::vector<std::u16string> NumberedLines(const std::u16string& prefix, int count) {
  std::vector<std::u16string> lines;
  for (int i = 1; i <= count; ++i) {
    std::string n = std::to_string(i);
    lines.push_back(prefix + u" line " + std::u16string(n.begin(), n.end()));
  }
  return lines;
}

}  // namespace pdftest
