// TwPdfImage.dll's entry points (by ordinal, see tw_pdf_image.h). Handles
// are checked against the documents this library made, so a stale or
// foreign handle fails instead of being followed.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "image_document.h"
#include "tw/modulekit.h"
#include "tw/utf.h"
#include "tw_pdf_image.h"

namespace {

using twpdf::ImageDocument;

std::mutex& registryMutex() {
  static std::mutex m;
  return m;
}
std::unordered_map<HANDLE, std::unique_ptr<ImageDocument>>& registry() {
  static std::unordered_map<HANDLE, std::unique_ptr<ImageDocument>> r;
  return r;
}

ImageDocument* lookup(HANDLE h) {
  std::lock_guard lock(registryMutex());
  auto it = registry().find(h);
  return it == registry().end() ? nullptr : it->second.get();
}

// Each call runs inside: nothing escapes a module boundary.
template <class F>
int guarded(F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return TWPDF_IMAGE_ERROR_MEMORY;
  } catch (...) {
    return TWPDF_IMAGE_ERROR_OUTPUT;
  }
}

}  // namespace

extern "C" {

int WINAPI pdf_Init_PDF(HANDLE* phPDF, LPCWSTR fileName) {
  return guarded([&] {
    if (!phPDF) return TWPDF_IMAGE_ERROR_ARGUMENT;
    auto doc = std::make_unique<ImageDocument>(fileName ? std::u16string(fileName) : std::u16string());
    HANDLE h = doc.get();
    std::lock_guard lock(registryMutex());
    registry().emplace(h, std::move(doc));
    *phPDF = h;
    return 0;
  });
}

int WINAPI pdf_Release_PDF(HANDLE hPDF) {
  std::unique_ptr<ImageDocument> doc;
  {
    std::lock_guard lock(registryMutex());
    auto it = registry().find(hPDF);
    if (it == registry().end()) return TWPDF_RELEASE_FAILED;
    doc = std::move(it->second);
    registry().erase(it);
  }
  doc.reset();  // an unfinished document is abandoned
  return 0;
}

int WINAPI pdf_GetLastError(HANDLE hPDF) {
  ImageDocument* doc = lookup(hPDF);
  return doc ? doc->LastError() : TWPDF_IMAGE_ERROR_ARGUMENT;
}

int WINAPI pdf_GetErrorText(HANDLE hPDF, LPWSTR text) {
  if (!text) return TWPDF_IMAGE_ERROR_ARGUMENT;
  ImageDocument* doc = lookup(hPDF);
  std::u16string message = doc ? doc->ErrorText() : u"unknown document handle";
  std::size_t n = std::min<std::size_t>(message.size(), TWPDF_ERROR_TEXT_UNITS - 1);
  std::memcpy(text, message.data(), n * sizeof(WCHAR));
  text[n] = 0;
  return doc ? 0 : TWPDF_IMAGE_ERROR_ARGUMENT;
}

int WINAPI pdf_FinishPDF(HANDLE hPDF) {
  ImageDocument* doc = lookup(hPDF);
  return doc ? guarded([&] { return doc->Finish(); }) : TWPDF_IMAGE_ERROR_ARGUMENT;
}

int WINAPI pdf_AbortPDF(HANDLE hPDF, int code) {
  ImageDocument* doc = lookup(hPDF);
  if (!doc) return TWPDF_IMAGE_ERROR_ARGUMENT;
  doc->Abandon(code ? code : TWPDF_IMAGE_ERROR_ABANDONED);
  return 0;
}

int WINAPI pdf_CreatePDF(HANDLE hPDF, LPCWSTR fileName) {
  ImageDocument* doc = lookup(hPDF);
  return doc ? guarded([&] { return doc->Create(fileName); }) : TWPDF_IMAGE_ERROR_ARGUMENT;
}

int WINAPI pdf_SaveDIBAsPDFPage(HANDLE hPDF, HGLOBAL dib, LPCWSTR, DWORD compression, int quality) {
  ImageDocument* doc = lookup(hPDF);
  return doc ? guarded([&] { return doc->SavePage(dib, compression, quality); }) : TWPDF_IMAGE_ERROR_ARGUMENT;
}

}  // extern "C"

TW_ORDINAL(2, pdf_Init_PDF);
TW_ORDINAL(3, pdf_Release_PDF);
TW_ORDINAL(4, pdf_GetLastError);
TW_ORDINAL(5, pdf_GetErrorText);
TW_ORDINAL(8, pdf_FinishPDF);
TW_ORDINAL(9, pdf_AbortPDF);
TW_ORDINAL(17, pdf_CreatePDF);
TW_ORDINAL(19, pdf_SaveDIBAsPDFPage);
