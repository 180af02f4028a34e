// The engine's document behind CPDF (and, for the interface library,
// behind CPDFInt): the settings, the save (one cairo PDF surface streamed
// to a temporary file), the open page and what the finished pages leave for
// the qpdf pass that ends the save.
#pragma once
#include <windows.h>

#include <cairo.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "staged_output.h"
#include "tw/gdi_cairo.h"
#include "tw_pdf_engine.h"

namespace twpdf {

class OcrFace;
class PageShow;

struct DocInfo {
  std::optional<std::u16string> title, author, subject, keywords, creator;
};

struct Settings {
  // colours and images
  int colorDepth = 3;  // 0 black and white, 1 palette, 2 grey, 3 colour
  int dithering = 0;
  int intensity = 100;
  int streamFilter = 105;      // 0: streams uncompressed; else Flate
  int colorImageFilter = 207;  // 207: JPEG at colorImageQuality; else Flate
  int colorImageQuality = 85;
  int monoImageFilter = 307;   // 307: CCITT Group 4; else Flate
  int mergingMode = 0, resamplingMethod = 0, resamplingRate = 100;
  bool colorPatterns = true;
  // fonts (always embedded and subset; see tw_pdf_interface.h)
  bool embedFonts = true, subsetFonts = true, removeFontTables = false, embedLicensed = false;
  bool embedAdobe = false, embedWindows = false, cidOnly = false;
  std::vector<std::u16string> forceEmbed, forbidEmbed;
  // page and document
  bool flipHorizontal = false, flipVertical = false;
  bool linearized = false, transparency = true, whiteBackground = false, urlParsing = false;
  int pdfType = 0;  // 0 PDF, 2 PDF/A-2b
  std::map<int, int> intValues;
  std::map<int, bool> boolValues;
  DocInfo info;
  // security
  int encryption = 0;  // 0 none, 1 RC4 40, 2 RC4 128, 3 AES 128, 4 (and above) AES 256
  std::u16string userPassword, ownerPassword;
  bool allowPrint = true, allowModify = true, allowCopy = true, allowAnnotate = true;
  bool append = false;
};

// A link found in a page's text, in page pixels.
struct PageLink {
  RECT box;
  std::u16string url;
};

// Invisible text: a word laid over a rectangle of the page (page pixels).
struct InvisibleWord {
  double left, top, right, bottom;
  std::u16string text;
  double fontSize;  // pixels; 0: the rectangle's height
};

class TW_PDF_ENGINE_API Document : public std::enable_shared_from_this<Document> {
 public:
  Document();
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  Settings& Config() { return settings_; }
  int LastError() const { return error_; }
  bool Fail(int code);  // records the error; false

  // --- the save ---
  bool StartFile(LPCWSTR fileName);
  bool StartMemory();
  bool Started() const { return surface_ != nullptr; }
  bool WritePage(unsigned long long id);
  bool EndFile();
  HGLOBAL EndMemory();
  int PageCount() const;  // -1 when no save runs

  // --- pages ---
  // A new open page at `position` (1-based; 0 or past the end: behind the
  // last page); 0 when it cannot be made.
  unsigned long long NewPage(int position, int width, int height, double xRes, double yRes);
  unsigned long long OpenPageAt(int position);  // 0 unless the open page is there
  bool IsOpen(unsigned long long id) const;
  int PositionOf(unsigned long long id) const;
  bool SetPageSize(unsigned long long id, double widthPt, double heightPt);
  // The DC the page's own drawing goes to (a recording, played at the write).
  HDC PageDc(unsigned long long id);
  HFONT PageFont(unsigned long long id, const LOGFONTW& logfont);
  bool BeginOcr(unsigned long long id);
  bool AddOcrWord(unsigned long long id, const RECT& rect, std::u16string_view text, double fontSize);
  bool EndOcr(unsigned long long id);

  // --- metafile layers (CPDFInt) ---
  // Plays a copy of `metafile` onto the page at `position` when the page is
  // written; with `newPage` the page is made first, with the metafile's size
  // and resolution.
  bool AddMetafileLayer(HENHMETAFILE metafile, int position, bool newPage);

  struct Page;     // the open page (document_impl.h)
  struct Written;  // what a written page leaves for the end of the save

 private:
  bool Start(const std::filesystem::path& cairoFile);
  Page* OpenPage(unsigned long long id);
  void DropOpenPage();
  bool RenderPage(Page& page, double widthPt, double heightPt);
  void DrawInvisibleWords(cairo_t* cr, const std::vector<InvisibleWord>& words);
  bool FinishSurface();
  bool Finish(const std::filesystem::path* file, HGLOBAL* memory);
  void Abandon();
  std::vector<std::string> Passwords() const;

  Settings settings_;
  int error_ = PDF_ERROR_NONE;
  // the save
  std::filesystem::path target_;      // the file (empty for memory output)
  bool targetCreated_ = false;        // this save made the target (removed when it fails)
  int existingPages_ = 0;             // pages of the file appended to
  bool appending_ = false;
  std::filesystem::path cairoFile_;   // the surface's temporary file
  std::FILE* cairoStream_ = nullptr;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  std::unique_ptr<PageShow> show_;  // the last written page, still being shown
  std::shared_ptr<tw::gdi::CairoFonts> fonts_;
  // pages
  std::unique_ptr<Page> open_;
  unsigned long long nextId_ = 1;
  std::vector<Written> written_;  // per page of the surface, in order
  // the engine's face for invisible text, made on first use
  std::unique_ptr<OcrFace> ocrFace_;
  bool ocrFaceTried_ = false;

  friend class FinishPass;
};

}  // namespace twpdf
