#include "job/settings/job_setup.h"

#include <iterator>

#include "tw/casefold.h"
#include "windows.h"

namespace tw::settings {

namespace {

constexpr DWORD kLastSelectablePage = 65534;

// Reads a page number of digits only; nothing for an empty text, 0 or a
// number above the last selectable page.
std::optional<WORD> PageNumber(std::u16string_view digits) {
  if (digits.empty()) return std::nullopt;
  DWORD value = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<DWORD>(c - u'0');
    if (value > kLastSelectablePage) return std::nullopt;
  }
  if (value == 0) return std::nullopt;
  return static_cast<WORD>(value);
}

bool EndsWith(std::u16string_view text, std::u16string_view tail, bool ignoreCase) {
  if (text.size() < tail.size()) return false;
  std::u16string_view end = text.substr(text.size() - tail.size());
  return ignoreCase ? tw::EqualsNoCase(end, tail) : end == tail;
}

// "%s%d_%d_%d" filled, then "_" and the reduced printer name.
std::u16string Numbered(std::u16string_view prefix, DWORD interfaceId, DWORD jobId, DWORD tick,
                        std::u16string_view printerName) {
  WCHAR numbers[48];
  // The numbers are printed as the signed values the names always carried.
  swprintf_s(numbers, std::size(numbers), u"%d_%d_%d", static_cast<int>(interfaceId), static_cast<int>(jobId),
             static_cast<int>(tick));
  std::u16string name(prefix);
  name += numbers;
  name += u'_';
  name += ReducedPrinterName(printerName);
  return name;
}

}  // namespace

std::optional<std::vector<PageRange>> ParseSelectedPages(std::u16string_view text) {
  std::u16string kept;
  for (char16_t c : text)
    if ((c >= u'0' && c <= u'9') || c == u',' || c == u'-') kept.push_back(c);
  std::vector<PageRange> ranges;
  std::u16string_view rest = kept;
  while (true) {
    size_t comma = rest.find(u',');
    std::u16string_view item = rest.substr(0, comma);
    if (!item.empty()) {
      size_t hyphen = item.find(u'-');
      auto first = PageNumber(item.substr(0, hyphen));
      auto last = hyphen == std::u16string_view::npos ? first : PageNumber(item.substr(hyphen + 1));
      if (!first || !last) return std::nullopt;
      ranges.push_back({*first, *last});
    }
    if (comma == std::u16string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (ranges.empty()) return std::nullopt;
  return ranges;
}

bool IsPageSelected(const std::vector<PageRange>& ranges, DWORD page) {
  for (const PageRange& r : ranges) {
    DWORD low = r.first < r.last ? r.first : r.last;
    DWORD high = r.first < r.last ? r.last : r.first;
    if (page >= low && page <= high) return true;
  }
  return false;
}

std::optional<std::vector<PageRange>> ReadPageSelection(const SettingsScope& scope) {
  if (!Read(scope, PagePrintSelectedPagesOnly)) return std::nullopt;
  return ParseSelectedPages(Read(scope, PageSelectedPages));
}

std::optional<std::u16string> RequestedCoverPage(const EffectiveContext& ctx) {
  if (Effective(ctx, CoverEnable) == 0) return std::nullopt;
  if (Read(ctx.scope, CoverEnableDefault) != 0) return Read(ctx.scope, CoverDefaultCoverPage);
  return Read(ctx.scope, JobDefaultCoverPage);
}

CoverPageCheck CheckCoverPage(std::u16string_view path, DWORD f) {
  CoverPageCheck check;
  if (path.empty()) return check;
  std::u16string name(path);
  DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return check;
  bool pdfExact = EndsWith(path, u".pdf", false);
  bool formatFits = pdfExact ? (f == 35 || f == 36 || f == 40 || f == 41)
                             : ((f >= 3 && f <= 10) || (f >= 21 && f <= 23) || f == 30);
  if (!formatFits) return check;
  check.accepted = true;
  check.pdf = EndsWith(path, u".pdf", true);
  return check;
}

std::u16string CoverPageErrorText(std::u16string_view path) {
  std::u16string text = u"412: Could not load Cover Page: ";
  text += path;
  return text;
}

std::u16string ReducedPrinterName(std::u16string_view printerName) {
  std::u16string reduced(printerName);
  for (char16_t& c : reduced)
    if (!IsCharAlphaNumericW(c)) c = u'_';
  return reduced;
}

JobChannelNames MakeJobChannelNames(std::u16string_view interfaceName, DWORD interfaceId, DWORD jobId, DWORD tick,
                                    std::u16string_view printerName) {
  JobChannelNames n;
  n.previewPipe = Numbered(u"\\\\.\\pipe\\TW_PREVIEW_", interfaceId, jobId, tick, printerName);
  n.previewAbortEvent = Numbered(u"Global\\TW_PREVIEW_ABORT_", interfaceId, jobId, tick, printerName);
  n.ftpPipe = Numbered(u"\\\\.\\pipe\\TW_FTP_", interfaceId, jobId, tick, printerName);
  n.httpPipe = Numbered(u"\\\\.\\pipe\\TW_HTTP_", interfaceId, jobId, tick, printerName);
  n.dbPipe = Numbered(u"\\\\.\\pipe\\TW_DB_", interfaceId, jobId, tick, printerName);
  n.mfilesPipe = Numbered(u"\\\\.\\pipe\\TW_MFiles_", interfaceId, jobId, tick, printerName);
  n.sharePointPipe = Numbered(u"\\\\.\\pipe\\TW_SharePoint_", interfaceId, jobId, tick, printerName);
  n.tiffViewerPipe = Numbered(u"\\\\.\\pipe\\TW_TiffViewer_", interfaceId, jobId, tick, printerName);
  WCHAR id[16];
  swprintf_s(id, std::size(id), u"%d", static_cast<int>(interfaceId));
  n.clientPipe = u"\\\\.\\pipe\\";
  n.clientPipe += interfaceName;
  n.clientPipe += id;
  return n;
}

std::u16string TemporaryGroupFileName(std::u16string_view tempDir, TemporaryGroupAction action, DWORD interfaceId,
                                      DWORD jobId, DWORD tick, std::u16string_view printerName) {
  if (tempDir.empty()) return {};
  std::u16string prefix(tempDir);
  if (prefix.back() != u'\\') prefix += u'\\';
  switch (action) {
    case TemporaryGroupAction::Ftp: prefix += u"TW_FTP_"; break;
    case TemporaryGroupAction::Http: prefix += u"TW_HTTP_"; break;
    case TemporaryGroupAction::Database: prefix += u"TW_DB_"; break;
    case TemporaryGroupAction::MFiles: prefix += u"TW_MFiles_"; break;
    case TemporaryGroupAction::SharePoint: prefix += u"TW_SharePoint_"; break;
    case TemporaryGroupAction::TiffViewer: prefix += u"TW_TiffViewer_"; break;
  }
  return Numbered(prefix, interfaceId, jobId, tick, printerName) + u".grp";
}

std::u16string MergeMapName(DWORD sessionId, std::u16string_view printerName) {
  WCHAR base[48];
  swprintf_s(base, std::size(base), u"Session\\%d\\TwMerge_", static_cast<int>(sessionId));
  std::u16string name = base;
  name += u'_';
  name += ReducedPrinterName(printerName);
  return name;
}

}  // namespace tw::settings
