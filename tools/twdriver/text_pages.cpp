#include "tools/twdriver/text_pages.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "tw/utf.h"

namespace tw::twdriver {
namespace {

struct MetafileDeleter {
  void operator()(HENHMETAFILE h) const { DeleteEnhMetaFile(h); }
};
using Metafile = std::unique_ptr<std::remove_pointer_t<HENHMETAFILE>, MetafileDeleter>;

struct FontDeleter {
  void operator()(HFONT h) const { DeleteObject(h); }
};
using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

struct DcDeleter {
  void operator()(HDC h) const { DeleteDC(h); }
};
using Dc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// Splits the text into lines: one entry per line, "\f" entries for form feeds.
std::vector<std::u16string> SplitLines(const std::u16string& text) {
  std::vector<std::u16string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    if (c == u'\n' || c == u'\r') {
      lines.emplace_back();
    } else if (c == u'\f') {
      if (!lines.back().empty()) lines.emplace_back();
      lines.back().assign(1, u'\f');
      lines.emplace_back();
    } else if (c == u'\t') {
      lines.back().append(8 - lines.back().size() % 8, u' ');
    } else {
      lines.back() += c;
    }
  }
  if (lines.back().empty()) lines.pop_back();
  if (!lines.empty() && lines.back() == u"\f") lines.pop_back();  // a closing form feed adds no page
  return lines;
}

class PageRecorder {
 public:
  PageRecorder(const TextLayout& layout, const TarnwickDEVMODE& record, std::vector<std::vector<BYTE>>& pages)
      : layout_(layout), pages_(pages) {
    const std::u16string printer = record.DM.dmDeviceName.Get();
    printer_.reset(CreateDCW(u"WINSPOOL", printer.c_str(), nullptr, reinterpret_cast<const DEVMODEW*>(&record)));
  }

  bool Begin() {
    if (!printer_) return false;
    RECT frame{0, 0, layout_.paperWidth * 10, layout_.paperLength * 10};  // 0.01 mm
    dc_ = CreateEnhMetaFileW(printer_.get(), nullptr, &frame, nullptr);
    if (!dc_) return false;
    // Logical units of 1/100 inch, y downwards.
    width_ = layout_.paperWidth * 100 / 254;
    height_ = layout_.paperLength * 100 / 254;
    SetMapMode(dc_, MM_ANISOTROPIC);
    SetWindowExtEx(dc_, width_, height_, nullptr);
    SetViewportExtEx(dc_, GetDeviceCaps(dc_, LOGPIXELSX) * width_ / 100, GetDeviceCaps(dc_, LOGPIXELSY) * height_ / 100,
                     nullptr);
    font_.reset(CreateFontW(-(layout_.points * 100 + 36) / 72, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                            0, layout_.face.c_str()));
    if (!font_) return false;
    SelectObject(dc_, font_.get());
    SetBkMode(dc_, TRANSPARENT);
    TEXTMETRICW tm{};
    if (!GetTextMetricsW(dc_, &tm)) return false;
    lineHeight_ = tm.tmHeight + tm.tmExternalLeading;
    y_ = layout_.margin;
    line_ = 0;
    if (Gridded()) SetTextAlign(dc_, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
    return lineHeight_ > 0;
  }

  bool End() {
    SelectObject(dc_, GetStockObject(SYSTEM_FONT));
    Metafile emf(CloseEnhMetaFile(dc_));
    dc_ = nullptr;
    if (!emf) return false;
    UINT size = GetEnhMetaFileBits(emf.get(), 0, nullptr);
    std::vector<BYTE> bytes(size);
    if (!size || GetEnhMetaFileBits(emf.get(), size, bytes.data()) != size) return false;
    pages_.push_back(std::move(bytes));
    return true;
  }

  // Writes one line, wrapping it at the right margin (at a space when there is one).
  bool Line(std::u16string_view line) {
    do {
      const bool full = Gridded() ? line_ >= layout_.grid.lines : y_ + lineHeight_ > height_ - layout_.margin;
      if (full && !(End() && Begin())) return false;
      const int left = Gridded() ? Hundredths(layout_.grid.left) : layout_.margin;
      if (Gridded()) y_ = Hundredths(layout_.grid.firstBaseline + layout_.grid.pitch * line_);
      int fit = static_cast<int>(line.size());
      SIZE extent{};
      int room = width_ - left - layout_.margin;
      if (!GetTextExtentExPointW(dc_, line.data(), static_cast<int>(line.size()), room, &fit, nullptr, &extent))
        return false;
      size_t take = std::max(fit, 1);
      if (take < line.size()) {
        size_t space = line.substr(0, take).find_last_of(u' ');
        if (space != std::u16string_view::npos && space > 0) take = space + 1;
      }
      std::u16string_view piece = line.substr(0, std::min(take, line.size()));
      if (!piece.empty() && !TextOutW(dc_, left, y_, piece.data(), static_cast<int>(piece.size()))) return false;
      line.remove_prefix(piece.size());
      y_ += lineHeight_;
      ++line_;
    } while (!line.empty());
    return true;
  }

  bool NewPage() { return End() && Begin(); }
  bool Gridded() const { return layout_.grid.lines > 0 && layout_.grid.pitch > 0; }
  static int Hundredths(double points) { return static_cast<int>(points * 100 / 72 + 0.5); }
  ~PageRecorder() {
    if (dc_) Metafile(CloseEnhMetaFile(dc_));
  }

 private:
  const TextLayout& layout_;
  std::vector<std::vector<BYTE>>& pages_;
  Dc printer_;
  HDC dc_ = nullptr;
  Font font_;
  int width_ = 0, height_ = 0, lineHeight_ = 0, y_ = 0, line_ = 0;
};

}  // namespace

TextLayout EnscriptLetterLayout() {
  TextLayout layout;
  layout.face = u"Courier New";
  layout.points = 10;
  layout.paperWidth = 2159;
  layout.paperLength = 2794;
  layout.margin = 25;  // 18 points
  layout.grid = {23, 49, 11, 65};
  return layout;
}

bool TypesetText(const std::string& text, const TextLayout& layout, const TarnwickDEVMODE& record,
                 std::vector<std::vector<BYTE>>& pages, std::string& error) {
  PageRecorder recorder(layout, record, pages);
  bool ok = recorder.Begin();
  for (const auto& line : SplitLines(tw::FromUtf8(text))) {
    if (!ok) break;
    ok = line == u"\f" ? recorder.NewPage() : recorder.Line(line);
  }
  ok = ok && recorder.End();
  if (!ok) error = "cannot record a text page (error " + std::to_string(GetLastError()) + ")";
  return ok;
}

}  // namespace tw::twdriver
