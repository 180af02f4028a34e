// The writer base: the factory, the common steps of SaveFile and the report
// of a failed write.
#include "output/twfile/tw_file.h"

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/page/page_seams.h"
#include "job/settings/effective.h"
#include "output/formats/format_table.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "render/emf/page_seams.h"
#include "tw/packed_dib.h"

namespace fm = tw::formats;

namespace {

std::unique_ptr<CTWFile> MakeWriter(fm::Writer writer) {
  using enum fm::Writer;
  switch (writer) {
    case BMP: return std::make_unique<CTWBMPFile>();
    case MemBMP: return std::make_unique<CTWMemBMPFile>();
    case PCX: return std::make_unique<CTWPCXFile>();
    case DCX: return std::make_unique<CTWDCXFile>();
    case TIFF: return std::make_unique<CTWTIFFFile>();
    case MemTIFF: return std::make_unique<CTWMemTIFFFile>();
    case CALS: return std::make_unique<CTWCALSFile>();
    case Raw: return std::make_unique<CTWRawFile>();
    case JPEG: return std::make_unique<CTWJPEGFile>();
    case JPEGLab: return std::make_unique<CTWJPEGLabFile>();
    case EMF: return std::make_unique<CTWEMFFile>();
    case MemEMF: return std::make_unique<CTWMemEMFFile>();
    case IOCA: return std::make_unique<CTWIOCAFile>();
    case PDF: return std::make_unique<CTWPDFFile>();
    case PNG: return std::make_unique<CTWPNGFile>();
    case GIF: return std::make_unique<CTWGIFFile>();
    case HTMLGIF: return std::make_unique<CTWHTMLGIFFile>();
    case HTMLPNG: return std::make_unique<CTWHTMLPNGFile>();
    case HTMLJPEG: return std::make_unique<CTWHTMLJPEGFile>();
    case HTMLBMP: return std::make_unique<CTWHTMLBMPFile>();
    case VectorPDF: return std::make_unique<CTWVectorPDFFile>();
    case PDFA: return std::make_unique<CTWPDFAFile>();
    case MODCA: return std::make_unique<CTWMODCAFile>();
    case None: break;
  }
  return nullptr;
}

}  // namespace

DWORD tw::output::EffectiveFormatCode(const TarnwickDEVMODE& record, const CTWJob* job) {
  if (!job) return record.FileFormat;
  tw::settings::SettingsScope scope = job->SettingsScope();
  tw::settings::EffectiveContext ctx{scope, &record, job->MergeStateForSettings(), job->m_bTiffViewer != FALSE};
  return tw::settings::EffectiveFileFormat(ctx);
}

CTWFile::~CTWFile() { Trace(u"CTWFile::~CTWFile()"); }

std::unique_ptr<CTWFile> CTWFile::CreateTWFileObject(const TarnwickDEVMODE& record, CTWJob* job) {
  const DWORD code = tw::output::EffectiveFormatCode(record, job);
  Trace(u"CTWFile::CreateTWFileObject: %d", static_cast<int>(code));
  const bool inMemory = (record.Flags & tw::devmode::flags::GenerateInMemory) != 0;
  std::unique_ptr<CTWFile> writer = MakeWriter(fm::FormatWriter(code, inMemory));
  Trace(u"Allocated memory(1): %X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(writer.get())));
  if (!writer) return nullptr;
  writer->m_DevMode = record;
  writer->m_dwPageNo = 0;
  writer->m_pJob = job;
  return writer;
}

BOOL CTWFile::Fail(int number, const char* file, int line) {
  if (m_pJob) m_pJob->HandleError(number, file, line);
  return FALSE;
}

BOOL CTWFile::ReportWriteFailure(const WCHAR* prefix, const WCHAR* fileName, int internalError, const char* file,
                                 int line) {
  // A bad path has been reported as "25: ..." by the check itself.
  if (m_pJob && !m_pJob->ValidateOutputFile(prefix, fileName, TRUE)) return FALSE;
  return Fail(internalError, file, line);
}

CTWFile::PageStep CTWFile::PreparePage(CEMFImage& image, HGLOBAL hData, BOOL bEMF, const WCHAR*& fileName,
                                       const ShapeErrors& errors, bool contentNames) {
  if (!hData) return Fail(errors.noData, __FILE__, __LINE__), PageStep::Failed;
  if (errors.noName && !fileName) return Fail(errors.noName, __FILE__, __LINE__), PageStep::Failed;
  if (!m_pJob) return PageStep::Failed;
  const BOOL rendered = bEMF ? image.Create(hData, &m_DevMode, m_pJob, FALSE, TRUE, FALSE)
                             : image.CreateFromRawData(hData, &m_DevMode, m_pJob);
  if (!rendered) return PageStep::Failed;  // the renderer has reported it
  if (contentNames && tw::page::ContentSplitNeedsNewName(*m_pJob)) {
    if (!m_pJob->GenerateFilenames(FALSE)) return PageStep::Failed;
    fileName = m_pJob->m_szActFileName;
  }
  const tw::render::SheetState sheet = tw::render::GetSheetState(*m_pJob);
  if (!m_pJob->m_Pages.SheetComplete(sheet.pagesPerSheet, sheet.flush)) return PageStep::Done;
  if (!image.m_hDIB) {
    if (errors.noDib) Fail(errors.noDib, __FILE__, __LINE__);
    return PageStep::Failed;
  }
  return PageStep::Write;
}

BOOL CTWFile::SaveRenderedPage(HGLOBAL hData, const WCHAR* szFileName, BOOL bEMF, const ShapeErrors& errors,
                               const PageDIBStep& savePageDIB) {
  CEMFImage image;
  const WCHAR* name = szFileName;
  switch (PreparePage(image, hData, bEMF, name, errors)) {
    case PageStep::Failed: return FALSE;
    case PageStep::Done: return TRUE;
    case PageStep::Write: break;
  }
  return savePageDIB(image.m_hDIB, name);
}

bool CTWFile::IsPageDIB(HGLOBAL hDIB, std::initializer_list<WORD> depths) {
  tw::dib::BlockLock dib(hDIB);
  if (!dib.ok()) return false;
  std::optional<tw::dib::Layout> layout = tw::dib::ReadLayout(dib.bytes());
  if (!layout || layout->headerSize != sizeof(BITMAPINFOHEADER) || layout->topDown ||
      layout->compression != BI_RGB)
    return false;
  for (WORD bits : depths)
    if (layout->bits == bits) return true;
  return false;
}
