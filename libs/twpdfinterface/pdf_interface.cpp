// CPDFInt and CPDFDocInfo over the engine's document. No exception leaves
// them.
#include "tw_pdf_interface.h"

#include <mutex>
#include <new>
#include <unordered_set>

#include "document.h"
#include "tw/utf.h"

namespace {

// The interfaces this library made: Destroy ignores any other pointer, so
// a second Destroy of the same interface does nothing.
std::mutex& liveMutex() {
  static std::mutex m;
  return m;
}
std::unordered_set<const CPDFInt*>& live() {
  static std::unordered_set<const CPDFInt*> s;
  return s;
}

std::optional<std::u16string> text(LPCWSTR value) {
  if (!value) return std::nullopt;
  return std::u16string(value);
}

std::vector<std::u16string> names(LPCWSTR* list, int count) {
  std::vector<std::u16string> out;
  for (int i = 0; i < count; ++i)
    if (list[i]) out.emplace_back(list[i]);
  return out;
}

}  // namespace

// --- CPDFDocInfo ---

struct CPDFDocInfo::Values {
  twpdf::DocInfo info;
};

CPDFDocInfo::CPDFDocInfo(bool) : m_values(std::make_unique<Values>()) {}
CPDFDocInfo::~CPDFDocInfo() = default;
CPDFDocInfo::CPDFDocInfo(const CPDFDocInfo& other) : m_values(std::make_unique<Values>(*other.m_values)) {}
CPDFDocInfo& CPDFDocInfo::operator=(const CPDFDocInfo& other) {
  *m_values = *other.m_values;
  return *this;
}
void CPDFDocInfo::SetTitle(LPCWSTR title) { m_values->info.title = text(title); }
void CPDFDocInfo::SetAuthor(LPCWSTR author) { m_values->info.author = text(author); }
void CPDFDocInfo::SetSubject(LPCWSTR subject) { m_values->info.subject = text(subject); }
void CPDFDocInfo::SetKeywords(LPCWSTR keywords) { m_values->info.keywords = text(keywords); }
void CPDFDocInfo::SetCreator(LPCWSTR creator) { m_values->info.creator = text(creator); }

// --- CPDFInt ---

CPDFInt::CPDFInt() = default;

CPDFInt::~CPDFInt() {
  if (m_hMetaFile) DeleteEnhMetaFile(m_hMetaFile);
}

CPDFInt* CPDFInt::CreateInterface() {
  CPDFInt* made = nullptr;
  try {
    made = new CPDFInt;
    made->m_pPDF = std::make_unique<CPDF>();
    std::lock_guard lock(liveMutex());
    live().insert(made);
    return made;
  } catch (...) {
    delete made;
    return nullptr;
  }
}

void CPDFInt::Destroy() {
  {
    std::lock_guard lock(liveMutex());
    if (!live().erase(this)) return;
  }
  delete this;
}

CPDF* CPDFInt::GetPDF() {
  if (!m_pPDF) m_nError = PDF_ERROR_MEMORY;
  return m_pPDF.get();
}

int CPDFInt::GetLastError() const {
  if (m_nError != PDF_ERROR_NONE) return m_nError;
  return m_pPDF ? m_pPDF->GetLastError() : PDF_ERROR_MEMORY;
}

BOOL CPDFInt::LoadMetaFile(HENHMETAFILE metafile) {
  CloseMetaFile();
  ENHMETAHEADER header;
  HENHMETAFILE copy = metafile && GetEnhMetaFileHeader(metafile, sizeof(header), &header) ? CopyEnhMetaFileW(metafile, nullptr)
                                                                                           : nullptr;
  if (!copy) {
    m_nError = PDF_ERROR_METAFILE;
    return FALSE;
  }
  m_hMetaFile = copy;
  m_nError = PDF_ERROR_NONE;
  return TRUE;
}

BOOL CPDFInt::ExecuteMetaFile(int mode, int pageNumber, BOOL newPage) {
  m_nError = PDF_ERROR_NONE;
  if (!m_hMetaFile) return m_pPDF->Impl().Fail(PDF_ERROR_METAFILE);
  if (mode != 1 || pageNumber < 1) return m_pPDF->Impl().Fail(PDF_ERROR_ARGUMENT);
  try {
    return m_pPDF->Impl().AddMetafileLayer(m_hMetaFile, pageNumber, newPage);
  } catch (const std::bad_alloc&) {
    return m_pPDF->Impl().Fail(PDF_ERROR_MEMORY);
  } catch (...) {
    return m_pPDF->Impl().Fail(PDF_ERROR_DRAWING);
  }
}

BOOL CPDFInt::CloseMetaFile() {
  if (m_hMetaFile) DeleteEnhMetaFile(m_hMetaFile);
  m_hMetaFile = nullptr;
  return TRUE;
}

BOOL CPDFInt::SetEncryptionW(int level, LPCWSTR userPassword, LPCWSTR ownerPassword) {
  twpdf::Settings& s = m_pPDF->Impl().Config();
  if (level < 0) {
    m_nError = PDF_ERROR_ENCRYPTION;
    return FALSE;
  }
  // A PDF/A document is never encrypted: the settings are kept unused.
  s.encryption = level;
  s.userPassword = userPassword ? userPassword : u"";
  s.ownerPassword = ownerPassword ? ownerPassword : u"";
  return TRUE;
}

void CPDFInt::SetUserPermissions(BOOL print, BOOL modify, BOOL copy, BOOL annotate) {
  twpdf::Settings& s = m_pPDF->Impl().Config();
  s.allowPrint = print, s.allowModify = modify, s.allowCopy = copy, s.allowAnnotate = annotate;
}

void CPDFInt::SetStreamFilter(int filter) { m_pPDF->Impl().Config().streamFilter = filter; }
void CPDFInt::SetColorImageFilter(int filter) { m_pPDF->Impl().Config().colorImageFilter = filter; }
void CPDFInt::SetColorImageQuality(int quality) { m_pPDF->Impl().Config().colorImageQuality = quality; }
void CPDFInt::SetMonoImageFilter(int filter) { m_pPDF->Impl().Config().monoImageFilter = filter; }

void CPDFInt::SetDocInfo(const CPDFDocInfo* info) {
  if (info) m_pPDF->Impl().Config().info = info->m_values->info;
}

void CPDFInt::SetEmbedFontsByDefault(BOOL embed) { m_pPDF->Impl().Config().embedFonts = embed; }
void CPDFInt::SetSubsetFonts(BOOL subset) { m_pPDF->Impl().Config().subsetFonts = subset; }
void CPDFInt::SetRemoveFontTables(BOOL remove) { m_pPDF->Impl().Config().removeFontTables = remove; }
void CPDFInt::SetEmbedLicensedFonts(BOOL embed) { m_pPDF->Impl().Config().embedLicensed = embed; }
void CPDFInt::SetEmbedAdobeFonts(BOOL embed) { m_pPDF->Impl().Config().embedAdobe = embed; }
void CPDFInt::SetEmbedWindowsFonts(BOOL embed) { m_pPDF->Impl().Config().embedWindows = embed; }
void CPDFInt::SetEmbedCIDFontsOnly(BOOL cidOnly) { m_pPDF->Impl().Config().cidOnly = cidOnly; }

BOOL CPDFInt::SetForceEmbedFontsW(LPCWSTR* list, int count) {
  if ((!list && count > 0) || count < 0) {
    m_nError = PDF_ERROR_ARGUMENT;
    return FALSE;
  }
  m_pPDF->Impl().Config().forceEmbed = names(list, count);
  return TRUE;
}

BOOL CPDFInt::SetForbidEmbedFontsW(LPCWSTR* list, int count) {
  if ((!list && count > 0) || count < 0) {
    m_nError = PDF_ERROR_ARGUMENT;
    return FALSE;
  }
  m_pPDF->Impl().Config().forbidEmbed = names(list, count);
  return TRUE;
}

void CPDFInt::SetFlipping(BOOL horizontal, BOOL vertical) {
  m_pPDF->Impl().Config().flipHorizontal = horizontal;
  m_pPDF->Impl().Config().flipVertical = vertical;
}
void CPDFInt::SetLinearized(BOOL linearized) { m_pPDF->Impl().Config().linearized = linearized; }
void CPDFInt::SetTransparency(BOOL transparency) { m_pPDF->Impl().Config().transparency = transparency; }
void CPDFInt::SetDrawPageBackground(BOOL background) { m_pPDF->Impl().Config().whiteBackground = background; }
void CPDFInt::SetUrlParsing(BOOL parse) { m_pPDF->Impl().Config().urlParsing = parse; }
void CPDFInt::SetPdfType(int type) { m_pPDF->Impl().Config().pdfType = type; }
void CPDFInt::SetIntValue(int key, int value) { m_pPDF->Impl().Config().intValues[key] = value; }
void CPDFInt::SetBoolValue(int key, BOOL value) { m_pPDF->Impl().Config().boolValues[key] = value != FALSE; }
