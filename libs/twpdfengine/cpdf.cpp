// CPDF and CPDFPage: the engine's exported classes over its document. No
// exception leaves them.
#include <new>

#include "document.h"
#include "tw/utf.h"
#include "tw_pdf_engine.h"

using twpdf::Document;

namespace {

// Runs `f`; memory exhaustion becomes PDF_ERROR_MEMORY and the failure value.
template <class R, class F>
R guarded(Document* doc, R failure, F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    if (doc) doc->Fail(PDF_ERROR_MEMORY);
  } catch (...) {
    if (doc) doc->Fail(PDF_ERROR_DOCUMENT);
  }
  return failure;
}

}  // namespace

// --- CPDFPage ---

CPDFPage::CPDFPage() = default;
CPDFPage::~CPDFPage() = default;
CPDFPage::CPDFPage(const CPDFPage&) = default;
CPDFPage& CPDFPage::operator=(const CPDFPage&) = default;
CPDFPage::CPDFPage(const std::shared_ptr<Document>& document, unsigned long long id) : m_document(document), m_nId(id) {}

bool CPDFPage::IsLegal() const {
  auto doc = m_document.lock();
  return doc && doc->IsOpen(m_nId);
}

int CPDFPage::GetPageNumber() const {
  auto doc = m_document.lock();
  return doc ? doc->PositionOf(m_nId) : 0;
}

BOOL CPDFPage::SetPageSize(double widthPoints, double heightPoints) {
  auto doc = m_document.lock();
  return doc && doc->SetPageSize(m_nId, widthPoints, heightPoints);
}

HDC CPDFPage::GetDC() {
  auto doc = m_document.lock();
  return doc ? guarded<HDC>(doc.get(), nullptr, [&] { return doc->PageDc(m_nId); }) : nullptr;
}

int CPDFPage::SetGraphicsMode(int mode) {
  HDC dc = GetDC();
  return dc ? ::SetGraphicsMode(dc, mode) : 0;
}

BOOL CPDFPage::SetWorldTransform(const XFORM* xform) {
  HDC dc = GetDC();
  return dc ? ::SetWorldTransform(dc, xform) : FALSE;
}

BOOL CPDFPage::BitBlt(int x, int y, int width, int height, HDC source, int xSrc, int ySrc, DWORD rop) {
  HDC dc = GetDC();
  return dc ? ::BitBlt(dc, x, y, width, height, source, xSrc, ySrc, rop) : FALSE;
}

BOOL CPDFPage::StretchBlt(int x, int y, int width, int height, HDC source, int xSrc, int ySrc, int widthSrc,
                          int heightSrc, DWORD rop) {
  HDC dc = GetDC();
  return dc ? ::StretchBlt(dc, x, y, width, height, source, xSrc, ySrc, widthSrc, heightSrc, rop) : FALSE;
}

BOOL CPDFPage::AlphaBlend(int x, int y, int width, int height, HDC source, int xSrc, int ySrc, int widthSrc,
                          int heightSrc, BLENDFUNCTION blend) {
  HDC dc = GetDC();
  return dc ? ::AlphaBlend(dc, x, y, width, height, source, xSrc, ySrc, widthSrc, heightSrc, blend) : FALSE;
}

HFONT CPDFPage::CreateFontIndirectW(const LOGFONTW* logfont) {
  auto doc = m_document.lock();
  if (!doc || !logfont) return nullptr;
  return guarded<HFONT>(doc.get(), nullptr, [&] { return doc->PageFont(m_nId, *logfont); });
}

HGDIOBJ CPDFPage::SelectObject(HGDIOBJ object) {
  HDC dc = GetDC();
  return dc ? ::SelectObject(dc, object) : nullptr;
}

int CPDFPage::SetBkMode(int mode) {
  HDC dc = GetDC();
  return dc ? ::SetBkMode(dc, mode) : 0;
}

COLORREF CPDFPage::SetTextColor(COLORREF color) {
  HDC dc = GetDC();
  return dc ? ::SetTextColor(dc, color) : CLR_INVALID;
}

UINT CPDFPage::SetTextAlign(UINT align) {
  HDC dc = GetDC();
  return dc ? ::SetTextAlign(dc, align) : GDI_ERROR;
}

UINT CPDFPage::GetTextAlign() {
  HDC dc = GetDC();
  return dc ? ::GetTextAlign(dc) : GDI_ERROR;
}

BOOL CPDFPage::TextOutW(int x, int y, LPCWSTR text, int count) {
  HDC dc = GetDC();
  return dc ? ::TextOutW(dc, x, y, text, count) : FALSE;
}

BOOL CPDFPage::BeginOCRText() {
  auto doc = m_document.lock();
  return doc && doc->BeginOcr(m_nId);
}

BOOL CPDFPage::WriteOCRText(const RECT* rect, LPCWSTR text, LPCWSTR, double fontSize, void* reserved) {
  auto doc = m_document.lock();
  if (!doc) return FALSE;
  if (!rect || !text || reserved) return doc->Fail(PDF_ERROR_ARGUMENT);
  return guarded<BOOL>(doc.get(), FALSE, [&] { return doc->AddOcrWord(m_nId, *rect, tw::View(text), fontSize); });
}

BOOL CPDFPage::EndOCRText() {
  auto doc = m_document.lock();
  return doc && doc->EndOcr(m_nId);
}

// --- CPDF ---

CPDF::CPDF() : m_document(std::make_shared<Document>()) {}
CPDF::~CPDF() = default;

BOOL CPDF::StartSavePDFFileW(LPCWSTR fileName) {
  return guarded<BOOL>(m_document.get(), FALSE, [&] { return m_document->StartFile(fileName); });
}

BOOL CPDF::StartSavePDFToMemory(void* reserved) {
  if (reserved) return m_document->Fail(PDF_ERROR_ARGUMENT);
  return guarded<BOOL>(m_document.get(), FALSE, [&] { return m_document->StartMemory(); });
}

BOOL CPDF::WritePageToPDFFile(CPDFPage& page) {
  if (page.m_document.lock() != m_document) return m_document->Fail(PDF_ERROR_PAGE);
  return guarded<BOOL>(m_document.get(), FALSE, [&] { return m_document->WritePage(page.m_nId); });
}

BOOL CPDF::WritePageToPDFMemory(CPDFPage& page) { return WritePageToPDFFile(page); }

BOOL CPDF::EndSavePDFFile() {
  return guarded<BOOL>(m_document.get(), FALSE, [&] { return m_document->EndFile(); });
}

HGLOBAL CPDF::EndSavePDFToMemory() {
  return guarded<HGLOBAL>(m_document.get(), nullptr, [&] { return m_document->EndMemory(); });
}

void CPDF::SetAppend(BOOL append) { m_document->Config().append = append; }

int CPDF::GetNumberOfPages() { return m_document->PageCount(); }

CPDFPage CPDF::AddPage(int width, int height, int xResolution, int yResolution) {
  return InsertPage(0, width, height, xResolution, yResolution);
}

CPDFPage CPDF::InsertPage(int position, int width, int height, int xResolution, int yResolution) {
  unsigned long long id = guarded<unsigned long long>(m_document.get(), 0, [&] {
    return m_document->NewPage(position, width, height, xResolution, yResolution);
  });
  return id ? CPDFPage(m_document, id) : CPDFPage();
}

CPDFPage CPDF::GetPage(int pageNumber) {
  unsigned long long id = m_document->OpenPageAt(pageNumber);
  return id ? CPDFPage(m_document, id) : CPDFPage();
}

int CPDF::GetLastError() const { return m_document->LastError(); }

void CPDF::SetIntValue(int key, int value) { m_document->Config().intValues[key] = value; }
void CPDF::SetColorDepth(int depth) { m_document->Config().colorDepth = depth; }
void CPDF::SetDitheringMethod(int method) { m_document->Config().dithering = method; }
void CPDF::SetColorIntensity(int intensity) { m_document->Config().intensity = intensity; }
void CPDF::SetImageMergingMode(int mode) { m_document->Config().mergingMode = mode; }
void CPDF::SetResamplingMethod(int method) { m_document->Config().resamplingMethod = method; }
void CPDF::SetResamplingRate(int rate) { m_document->Config().resamplingRate = rate; }
void CPDF::EnableColorPattern(BOOL enable) { m_document->Config().colorPatterns = enable; }
