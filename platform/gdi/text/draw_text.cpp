// DrawTextW: lines, word breaks, alignment in a rectangle, measured and
// drawn through the public text calls (so metafile DCs record the lines).
#include <algorithm>
#include <string>
#include <vector>

#include "../text_seam.h"
#include "winerror.h"

namespace tw::gdi::text {
namespace {

int extentOf(HDC hdc, std::u16string_view s) {
  SIZE size{};
  if (s.empty()) return 0;
  if (!GetTextExtentPoint32W(hdc, reinterpret_cast<LPCWSTR>(s.data()), int(s.size()), &size)) return 0;
  return size.cx;
}

// Removes prefix characters: "&&" is "&", "&x" is "x".
std::u16string stripPrefixes(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    else if (text[i] == u'&') continue;
    out.push_back(text[i]);
  }
  return out;
}

// Splits at line ends (CR LF, LF or CR) unless single-line, then wraps each
// paragraph at spaces to `width`; a word wider than the line stays whole.
std::vector<std::u16string> layoutLines(HDC hdc, std::u16string_view text, UINT format, int width) {
  std::vector<std::u16string> paragraphs;
  if (format & DT_SINGLELINE) {
    std::u16string line(text);
    std::replace_if(line.begin(), line.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }, u' ');
    paragraphs.push_back(std::move(line));
  } else {
    std::u16string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\r' || text[i] == u'\n') {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        paragraphs.push_back(std::move(current));
        current.clear();
      } else {
        current.push_back(text[i]);
      }
    }
    paragraphs.push_back(std::move(current));
  }
  if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE)) return paragraphs;
  std::vector<std::u16string> lines;
  for (const auto& p : paragraphs) {
    std::size_t start = 0;
    while (true) {
      // Take words while they fit.
      std::size_t end = start, lastFit = std::u16string::npos;
      while (end <= p.size()) {
        std::size_t next = p.find(u' ', end);
        if (next == std::u16string::npos) next = p.size();
        if (extentOf(hdc, std::u16string_view(p).substr(start, next - start)) > width && lastFit != std::u16string::npos)
          break;
        lastFit = next;
        if (next == p.size()) break;
        end = next + 1;
      }
      lines.push_back(p.substr(start, lastFit - start));
      if (lastFit >= p.size()) break;
      start = lastFit;
      while (start < p.size() && p[start] == u' ') ++start;  // spaces at a break vanish
      if (start >= p.size()) break;
    }
  }
  return lines;
}

}  // namespace

int DrawTextW(Dc& dc, std::u16string_view text, LPRECT rect, UINT format) {
  HDC hdc = static_cast<HDC>(dc.Handle());
  TEXTMETRICW tm{};
  if (!GetTextMetricsW(hdc, &tm)) return 0;
  std::u16string body = (format & DT_NOPREFIX) ? std::u16string(text) : stripPrefixes(text);
  if (format & DT_EXPANDTABS) {
    std::u16string expanded;
    for (char16_t c : body) expanded.append(c == u'\t' ? std::u16string(8, u' ') : std::u16string(1, c));
    body = std::move(expanded);
  }
  int width = rect->right - rect->left;
  std::vector<std::u16string> lines = layoutLines(hdc, body, format, width);
  int lineHeight = tm.tmHeight + ((format & DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0);
  int total = lineHeight * int(lines.size());
  int widest = 0;
  std::vector<int> widths;
  for (const auto& line : lines) widest = std::max(widest, widths.emplace_back(extentOf(hdc, line)));
  if (format & DT_CALCRECT) {
    rect->right = rect->left + widest;
    rect->bottom = rect->top + total;
    return total;
  }
  int y = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) y = rect->top + (rect->bottom - rect->top - total) / 2;
    else if (format & DT_BOTTOM) y = rect->bottom - total;
  }
  UINT align = GetTextAlign(hdc);
  SetTextAlign(hdc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  UINT options = (format & DT_NOCLIP) ? 0 : ETO_CLIPPED;
  for (std::size_t i = 0; i < lines.size(); ++i, y += lineHeight) {
    int x = rect->left;
    if (format & DT_CENTER) x = rect->left + (width - widths[i]) / 2;
    else if (format & DT_RIGHT) x = rect->right - widths[i];
    if (!lines[i].empty())
      ExtTextOutW(hdc, x, y, options, rect, reinterpret_cast<LPCWSTR>(lines[i].data()), UINT(lines[i].size()), nullptr);
  }
  SetTextAlign(hdc, align);
  return (format & (DT_VCENTER | DT_BOTTOM)) && (format & DT_SINGLELINE) ? y - rect->top : total;
}

}  // namespace tw::gdi::text
