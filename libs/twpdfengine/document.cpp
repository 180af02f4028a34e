// The document's save and its pages: one cairo PDF surface per save,
// streamed to a temporary file; one open page at a time, drawn when it is
// written.
#include <fcntl.h>
#include <unistd.h>

#include <cairo-pdf.h>

#include <cmath>
#include <cstdio>

#include "document_impl.h"
#include "existing_pdf.h"
#include "ocr_face.h"
#include "page_show.h"
#include "tw/utf.h"

namespace twpdf {
namespace {

constexpr int kMaxSide = 1000000;

cairo_status_t writeStream(void* closure, const unsigned char* data, unsigned int length) {
  auto* stream = static_cast<std::FILE*>(closure);
  return std::fwrite(data, 1, length, stream) == length ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

// --- pages ---

Document::Page::~Page() {
  if (ops) DeleteEnhMetaFile(CloseEnhMetaFile(ops));
  for (const Layer& layer : layers) DeleteEnhMetaFile(layer.metafile);
  for (HFONT font : fonts) DeleteObject(font);
}

void Document::Page::CloseOps() {
  if (!ops) return;
  OpsState state;
  state.graphicsMode = GetGraphicsMode(ops);
  GetWorldTransform(ops, &state.world);
  state.bkMode = GetBkMode(ops);
  state.textColor = GetTextColor(ops);
  state.textAlign = GetTextAlign(ops);
  state.font = GetCurrentObject(ops, OBJ_FONT);
  opsState = state;
  HENHMETAFILE recorded = CloseEnhMetaFile(ops);
  ops = nullptr;
  if (recorded) layers.push_back({recorded, 1, 1});
}

bool MetafilePage(HENHMETAFILE metafile, double& width, double& height, double& dpiX, double& dpiY) {
  ENHMETAHEADER h{};
  if (!metafile || GetEnhMetaFileHeader(metafile, sizeof(h), &h) < offsetof(ENHMETAHEADER, szlMicrometers)) return false;
  if (h.szlMillimeters.cx <= 0 || h.szlMillimeters.cy <= 0 || h.szlMicrometers.cx <= 0 || h.szlMicrometers.cy <= 0 ||
      h.szlDevice.cx <= 0 || h.szlDevice.cy <= 0)
    return false;
  // The frame through the device's exact size (micrometres): a Letter page
  // recorded at 300 DPI is 2550 x 3300 pixels, not the 2548.8 the rounded
  // millimetres give.
  width = double(h.szlDevice.cx) * ((double(h.rclFrame.right) - h.rclFrame.left) * 10) / h.szlMicrometers.cx;
  height = double(h.szlDevice.cy) * ((double(h.rclFrame.bottom) - h.rclFrame.top) * 10) / h.szlMicrometers.cy;
  dpiX = std::trunc(h.szlDevice.cx / (h.szlMicrometers.cx / 1000.0) * 25.4 + 0.5);
  dpiY = std::trunc(h.szlDevice.cy / (h.szlMicrometers.cy / 1000.0) * 25.4 + 0.5);
  return width > 0 && height > 0 && dpiX >= 1 && dpiY >= 1 && std::isfinite(width) && std::isfinite(height);
}

bool LayerTransform(HENHMETAFILE metafile, double scaleX, double scaleY, XFORM& out) {
  ENHMETAHEADER h{};
  if (!metafile || !GetEnhMetaFileHeader(metafile, sizeof(h), &h)) return false;
  // The frame in reference pixels, as the player converts it (millimetres,
  // micrometres only when they are missing; the bounds without a frame).
  double umx = h.szlMillimeters.cx > 0 ? h.szlMillimeters.cx * 1000.0 : h.szlMicrometers.cx;
  double umy = h.szlMillimeters.cy > 0 ? h.szlMillimeters.cy * 1000.0 : h.szlMicrometers.cy;
  double kx = umx > 0 && h.szlDevice.cx > 0 ? h.szlDevice.cx / (umx / 10.0) : 1.0;
  double ky = umy > 0 && h.szlDevice.cy > 0 ? h.szlDevice.cy / (umy / 10.0) : 1.0;
  double l = h.rclFrame.left * kx, r = h.rclFrame.right * kx, t = h.rclFrame.top * ky, b = h.rclFrame.bottom * ky;
  if (r == l || b == t) {
    l = h.rclBounds.left, r = h.rclBounds.right, t = h.rclBounds.top, b = h.rclBounds.bottom;
  }
  if (r == l || b == t) return false;
  double k = kPlayRect.right;
  out = {FLOAT(scaleX * (r - l) / k), 0, 0, FLOAT(scaleY * (b - t) / k), 0, 0};
  return std::isfinite(out.eM11) && std::isfinite(out.eM22) && out.eM11 != 0 && out.eM22 != 0;
}

Document::Document() : show_(std::make_unique<PageShow>()) {}

Document::~Document() {
  open_.reset();
  Abandon();
}

bool Document::Fail(int code) {
  error_ = code;
  return false;
}

std::vector<std::string> Document::Passwords() const {
  std::vector<std::string> out;
  for (const std::u16string* p : {&settings_.ownerPassword, &settings_.userPassword})
    if (!p->empty()) out.push_back(tw::ToUtf8(*p));
  return out;
}

// --- the save ---

bool Document::Start(const std::filesystem::path& cairoFile) {
  cairoFile_ = cairoFile;
  cairoStream_ = cairoFile.empty() ? nullptr : std::fopen(cairoFile.c_str(), "wb");
  if (!cairoStream_) return Fail(PDF_ERROR_OUTPUT);
  surface_ = cairo_pdf_surface_create_for_stream(writeStream, cairoStream_, 612, 792);
  cr_ = cairo_create(surface_);
  fonts_ = tw::gdi::CreateCairoFonts();
  written_.clear();
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS || cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
    Abandon();
    return Fail(PDF_ERROR_DRAWING);
  }
  error_ = PDF_ERROR_NONE;
  return true;
}

bool Document::StartFile(LPCWSTR fileName) {
  if (Started() || !fileName || !*fileName) return Fail(PDF_ERROR_ARGUMENT);
  DWORD win32 = 0;
  std::filesystem::path target = HostPath(fileName, win32);
  if (target.empty()) return Fail(PDF_ERROR_OUTPUT);
  std::error_code ec;
  bool exists = std::filesystem::exists(target, ec);
  appending_ = false;
  existingPages_ = 0;
  targetCreated_ = false;
  if (exists && settings_.append) {
    std::unique_ptr<QPDF> existing;
    switch (OpenExistingPdf(existing, target, Passwords(), &existingPages_)) {
      case OpenResult::Ok: appending_ = true; break;
      case OpenResult::Encrypted: return Fail(PDF_ERROR_ENCRYPTED);
      case OpenResult::NotPdf: return Fail(PDF_ERROR_NOT_PDF);
    }
  } else {
    // The target must take a file: made now (a bad path fails here), or an
    // existing one checked for writing and left as it is until the end.
    int fd = ::open(target.c_str(), exists ? O_WRONLY : (O_WRONLY | O_CREAT | O_EXCL), 0666);
    if (fd < 0) return Fail(PDF_ERROR_OUTPUT);
    ::close(fd);
    targetCreated_ = !exists;
  }
  target_ = target;
  std::filesystem::path dir = target.parent_path();
  if (!Start(MakeTempFile(dir.empty() ? "." : dir, ".~tp"))) {
    if (targetCreated_) std::filesystem::remove(target, ec);
    target_.clear();
    targetCreated_ = false;
    return false;
  }
  return true;
}

bool Document::StartMemory() {
  if (Started()) return Fail(PDF_ERROR_ARGUMENT);
  target_.clear();
  appending_ = false;
  existingPages_ = 0;
  targetCreated_ = false;
  // The machine's temporary folder (the spooler's TEMP).
  WCHAR temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  DWORD error = 0;
  std::filesystem::path dir = n > 0 && n < MAX_PATH ? HostPath(std::u16string_view(temp, n), error) : std::filesystem::path();
  std::error_code ec;
  if (dir.empty()) dir = std::filesystem::temp_directory_path(ec);
  std::filesystem::create_directories(dir, ec);
  return Start(MakeTempFile(dir, "~tp"));
}

int Document::PageCount() const { return Started() ? existingPages_ + int(written_.size()) : -1; }

void Document::Abandon() {
  open_.reset();
  show_->Wait();
  if (cr_) cairo_destroy(cr_);
  cr_ = nullptr;
  if (surface_) {
    // What the surface still writes goes to the file removed below.
    cairo_surface_finish(surface_);
    cairo_surface_destroy(surface_);
  }
  surface_ = nullptr;
  if (cairoStream_) std::fclose(cairoStream_);
  cairoStream_ = nullptr;
  std::error_code ec;
  if (!cairoFile_.empty()) std::filesystem::remove(cairoFile_, ec);
  cairoFile_.clear();
  if (targetCreated_) std::filesystem::remove(target_, ec);
  targetCreated_ = false;
  target_.clear();
  fonts_.reset();
  written_.clear();
}

bool Document::FinishSurface() {
  open_.reset();
  const bool shown = show_->Wait();
  cairo_destroy(cr_);
  cr_ = nullptr;
  cairo_surface_finish(surface_);  // fonts are subset and written here
  bool ok = cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface_);
  surface_ = nullptr;
  fonts_.reset();
  // A write that failed on the way (a full disk) leaves only the stream's error flag.
  ok = !std::ferror(cairoStream_) && ok;
  ok = std::fclose(cairoStream_) == 0 && ok;
  cairoStream_ = nullptr;
  if (!shown) return Fail(PDF_ERROR_DRAWING);
  return ok ? true : Fail(PDF_ERROR_OUTPUT);
}

bool Document::EndFile() {
  if (!Started() || target_.empty()) return Fail(PDF_ERROR_ARGUMENT);
  std::filesystem::path target = target_;
  bool ok = FinishSurface() && Finish(&target, nullptr);
  if (ok) targetCreated_ = false;  // the target is the document now
  Abandon();
  return ok;
}

HGLOBAL Document::EndMemory() {
  if (!Started() || !target_.empty()) {
    Fail(PDF_ERROR_ARGUMENT);
    return nullptr;
  }
  HGLOBAL block = nullptr;
  bool ok = FinishSurface() && Finish(nullptr, &block);
  Abandon();
  return ok ? block : nullptr;
}

// --- pages ---

Document::Page* Document::OpenPage(unsigned long long id) {
  if (!open_ || open_->id != id || id == 0) {
    Fail(PDF_ERROR_PAGE);
    return nullptr;
  }
  return open_.get();
}

void Document::DropOpenPage() { open_.reset(); }

unsigned long long Document::NewPage(int position, int width, int height, double xRes, double yRes) {
  if (!Started()) return Fail(PDF_ERROR_ARGUMENT), 0;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || !(xRes >= 1) || !(yRes >= 1) ||
      xRes > 100000 || yRes > 100000)
    return Fail(PDF_ERROR_ARGUMENT), 0;
  // One page is open at a time: an unwritten page is dropped.
  DropOpenPage();
  int count = PageCount();
  auto page = std::make_unique<Page>();
  page->id = nextId_++;
  page->position = position >= 1 && position <= count ? position : count + 1;
  page->width = width;
  page->height = height;
  page->xRes = xRes;
  page->yRes = yRes;
  open_ = std::move(page);
  return open_->id;
}

unsigned long long Document::OpenPageAt(int position) {
  if (open_ && open_->position == position) return open_->id;
  Fail(PDF_ERROR_PAGE);
  return 0;
}

bool Document::IsOpen(unsigned long long id) const { return open_ && id != 0 && open_->id == id; }

int Document::PositionOf(unsigned long long id) const { return IsOpen(id) ? open_->position : 0; }

bool Document::SetPageSize(unsigned long long id, double widthPt, double heightPt) {
  Page* page = OpenPage(id);
  if (!page) return false;
  // A page is 3 to 14400 units a side (user units beyond).
  if (!(widthPt > 0) || !(heightPt > 0) || widthPt > 1e6 || heightPt > 1e6) return Fail(PDF_ERROR_ARGUMENT);
  page->sizePt = {widthPt, heightPt};
  return true;
}

HDC Document::PageDc(unsigned long long id) {
  Page* page = OpenPage(id);
  if (!page) return nullptr;
  if (page->ops) return page->ops;
  HDC reference = tw::gdi::CreatePageReferenceDC(page->width, page->height, page->xRes, page->yRes);
  if (!reference) return Fail(PDF_ERROR_MEMORY), nullptr;
  RECT frame{0, 0, LONG(std::lround(page->width / page->xRes * 2540)), LONG(std::lround(page->height / page->yRes * 2540))};
  page->ops = CreateEnhMetaFileW(reference, nullptr, &frame, nullptr);
  DeleteDC(reference);
  if (!page->ops) return Fail(PDF_ERROR_MEMORY), nullptr;
  if (page->opsState) {
    // Carry on where the last recording of this page stopped.
    const Page::OpsState& s = *page->opsState;
    SetGraphicsMode(page->ops, s.graphicsMode);
    if (s.graphicsMode == GM_ADVANCED) SetWorldTransform(page->ops, &s.world);
    SetBkMode(page->ops, s.bkMode);
    SetTextColor(page->ops, s.textColor);
    SetTextAlign(page->ops, s.textAlign);
    for (HFONT font : page->fonts)
      if (font == s.font) SelectObject(page->ops, font);
  }
  return page->ops;
}

HFONT Document::PageFont(unsigned long long id, const LOGFONTW& logfont) {
  Page* page = OpenPage(id);
  if (!page) return nullptr;
  HFONT font = CreateFontIndirectW(&logfont);
  if (!font) return Fail(PDF_ERROR_ARGUMENT), nullptr;
  page->fonts.push_back(font);
  return font;
}

bool Document::BeginOcr(unsigned long long id) {
  Page* page = OpenPage(id);
  if (!page) return false;
  page->ocrOpen = true;
  return true;
}

bool Document::AddOcrWord(unsigned long long id, const RECT& rect, std::u16string_view text, double fontSize) {
  Page* page = OpenPage(id);
  if (!page) return false;
  if (!page->ocrOpen || !(fontSize >= 0) || fontSize > 1e5) return Fail(PDF_ERROR_ARGUMENT);
  if (text.empty() || rect.right <= rect.left || rect.bottom <= rect.top) return true;  // nothing to lay
  page->words.push_back({double(rect.left), double(rect.top), double(rect.right), double(rect.bottom),
                         std::u16string(text), fontSize});
  return true;
}

bool Document::EndOcr(unsigned long long id) {
  Page* page = OpenPage(id);
  if (!page) return false;
  page->ocrOpen = false;
  return true;
}

bool Document::AddMetafileLayer(HENHMETAFILE metafile, int position, bool newPage) {
  double width, height, dpiX, dpiY;
  XFORM unused;
  if (!MetafilePage(metafile, width, height, dpiX, dpiY) || !LayerTransform(metafile, 1, 1, unused))
    return Fail(PDF_ERROR_METAFILE);
  if (newPage) {
    if (!NewPage(position, int(std::lround(width)), int(std::lround(height)), dpiX, dpiY)) return false;
  } else if (!OpenPageAt(position)) {
    return false;
  }
  Page& page = *open_;
  HENHMETAFILE copy = CopyEnhMetaFileW(metafile, nullptr);
  if (!copy) return Fail(PDF_ERROR_MEMORY);
  page.CloseOps();
  page.layers.push_back({copy, page.xRes / dpiX, page.yRes / dpiY});
  return true;
}

bool Document::WritePage(unsigned long long id) {
  Page* page = OpenPage(id);
  if (!page || !Started()) return false;
  double w = page->sizePt ? page->sizePt->first : page->width / page->xRes * 72;
  double h = page->sizePt ? page->sizePt->second : page->height / page->yRes * 72;
  bool ok = RenderPage(*page, w, h);
  DropOpenPage();
  return ok;
}

}  // namespace twpdf
