// The HTML writers (codes 26 to 29): the page image is stored by the image
// writer under the HTML page's name with the image's extension, then an
// HTML page in the ANSI code page shows it.
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "job/page/page_state.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/page_seams.h"

namespace {

constexpr int kNotWritten = 300;
constexpr int kNotCreated = 301;
// The page never grows beyond this; a long document name is cut to fit.
constexpr size_t kMaxPage = 1024;
// The converted image path with its terminator.
constexpr size_t kMaxPath = 260;

constexpr std::string_view kHead =
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n"
    "    <html>\r\n"
    "    <head>\r\n"
    "    <title>";
constexpr std::string_view kMiddle =
    "</title>\r\n"
    "    </head>\r\n"
    "    <body bgcolor=\"#FFFFFF\">\r\n"
    "    <img src=\"file:///";
constexpr std::string_view kTail =
    "\">\r\n"
    "    </body>\r\n"
    "    </html>\r\n";

// Text in the ANSI code page; characters it lacks become `fallback`.
std::string ToAnsi(std::u16string_view text, const char* fallback) {
  if (text.empty()) return {};
  const int units = static_cast<int>(text.size());
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), units, nullptr, 0, fallback, nullptr);
  if (n <= 0) return {};
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), units, bytes.data(), n, fallback, nullptr);
  return bytes;
}

// The image path as the page's link takes it: the full path in ANSI without
// " * < > ? |, with "/" for "\" and "|" for ":".
std::string LinkPath(const WCHAR* imageFile) {
  WCHAR full[MAX_PATH];
  DWORD n = GetFullPathNameW(imageFile, MAX_PATH, full, nullptr);
  std::u16string_view path = n > 0 && n < MAX_PATH ? std::u16string_view(full, n) : std::u16string_view(imageFile);
  std::string link;
  for (char c : ToAnsi(path, "_")) {
    switch (c) {
      case '"': case '*': case '<': case '>': case '?': case '|': break;
      case '\\': link += '/'; break;
      case ':': link += '|'; break;
      default: link += c;
    }
  }
  return link;
}

// The image's name: the HTML page's name with its extension replaced by
// `extension` (or given it). Only a dot in the file part counts, so that a
// dot in a folder's name keeps the image in the page's folder.
std::u16string ImageFileName(const WCHAR* htmlFile, std::u16string_view extension) {
  std::u16string name = htmlFile;
  size_t part = name.find_last_of(u"\\/");
  size_t dot = name.rfind(u'.');
  if (dot == std::u16string::npos || (part != std::u16string::npos && dot < part))
    name += u'.';
  else
    name.resize(dot + 1);
  return name + std::u16string(extension);
}

struct FileCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using FilePtr = std::unique_ptr<void, FileCloser>;

// The image writer's SaveFile under the image name, then the page.
template <typename Image>
BOOL SaveImageAndPage(Image& writer, CTWHTMLFile& html, HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName,
                      BOOL bEMF, std::u16string_view extension, bool freshFile = false,
                      const WCHAR* imageFailed = nullptr) {
  if (!szFileName) return writer.Image::SaveFile(hData, dwSize, nullptr, bEMF);
  const std::u16string image = ImageFileName(szFileName, extension);
  // The GIF library only ever makes a new file.
  if (freshFile) DeleteFileW(image.c_str());
  if (!writer.Image::SaveFile(hData, dwSize, image.c_str(), bEMF)) {
    if (imageFailed) Trace(imageFailed);
    return FALSE;
  }
  return html.SaveHTMLFile(szFileName, image.c_str(), writer.m_pJob);
}

}  // namespace

BOOL CTWHTMLFile::SaveHTMLFile(const WCHAR* szHtmlFile, const WCHAR* szImageFile, CTWJob* pJob) {
  if (!pJob) return FALSE;
  const tw::render::SheetState sheet = tw::render::GetSheetState(*pJob);
  if (!pJob->m_Pages.SheetComplete(sheet.pagesPerSheet, sheet.flush)) return TRUE;
  Trace(u"CTWHTMLFile::SaveHTMLFile starts: %s", szHtmlFile ? szHtmlFile : u"");
  if (!szHtmlFile || !szImageFile) return FALSE;

  const std::string link = LinkPath(szImageFile);
  if (link.size() >= kMaxPath) {
    LogMessageCapture(TWLOG_ERROR, u"! Error: CTWHTMLFile::SaveHTMLFile: the image path is too long: %s", szImageFile);
    pJob->HandleError(kNotCreated, __FILE__, __LINE__);
    return FALSE;
  }
  std::string title = ToAnsi(pJob->DocumentName(), nullptr);
  const size_t fixed = kHead.size() + kMiddle.size() + link.size() + kTail.size();
  if (fixed + title.size() > kMaxPage) title.resize(kMaxPage - fixed);
  std::string page;
  page.reserve(fixed + title.size());
  page.append(kHead).append(title).append(kMiddle).append(link).append(kTail);

  FilePtr file(CreateFileW(szHtmlFile, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    if (pJob->ValidateOutputFile(u"Cannot write HTML file: ", szHtmlFile, TRUE))
      pJob->HandleError(kNotCreated, __FILE__, __LINE__);
    return FALSE;
  }
  DWORD written = 0;
  BOOL ok = WriteFile(file.get(), page.data(), static_cast<DWORD>(page.size()), &written, nullptr) &&
            written == page.size();
  if (ok) {
    Trace(u"CTWHTMLFile::SaveHTMLFile success");
  } else {
    // A page cut short shows nothing: it does not stay behind.
    file.reset();
    DeleteFileW(szHtmlFile);
    pJob->HandleError(kNotWritten, __FILE__, __LINE__);
  }
  file.reset();
  Trace(u"CTWHTMLFile::SaveHTMLFile ends");
  return ok;
}

BOOL CTWHTMLGIFFile::SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) {
  return SaveImageAndPage<CTWGIFFile>(*this, *this, hData, dwSize, szFileName, bEMF, u"gif", true);
}

BOOL CTWHTMLPNGFile::SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) {
  return SaveImageAndPage<CTWPNGFile>(*this, *this, hData, dwSize, szFileName, bEMF, u"PNG");
}

BOOL CTWHTMLJPEGFile::SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWHTMLJPEGFile::SaveFile: %s", szFileName ? szFileName : u"");
  return SaveImageAndPage<CTWJPEGFile>(*this, *this, hData, dwSize, szFileName, bEMF, u"JPG", false,
                                       u"CTWHTMLJPEGFile::SaveFile: JPEG saving failed");
}

BOOL CTWHTMLBMPFile::SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) {
  return SaveImageAndPage<CTWBMPFile>(*this, *this, hData, dwSize, szFileName, bEMF, u"BMP");
}
