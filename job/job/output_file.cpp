// The document-wide output of the job's writer: which formats keep one file
// for the whole document, its opening at the start of the document and its
// closing at the end or abort; the in-memory output block.
#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "job/settings/effective.h"
#include "output/formats/format_table.h"
#include "output/twfile/tw_writers.h"

namespace st = tw::settings;
namespace fm = tw::formats;
using Kind = tw::job::OutputDocument::Kind;

namespace {

bool EmailSplitByContent(const st::EffectiveContext& ctx) {
  return st::Effective(ctx, st::PostPrintSendInEmail) &&
         (st::Effective(ctx, st::EmailContentBased) || st::Effective(ctx, st::EmailSimpleContentBased));
}

Kind DocumentOutputOf(const CTWJob& job, bool oneFile) {
  st::SettingsScope scope = job.SettingsScope();
  st::EffectiveContext ctx{scope, &job.m_DevMode, job.MergeStateForSettings(), job.m_bTiffViewer != FALSE};
  const DWORD code = st::EffectiveFileFormat(ctx);
  if (code == 20 || code == 35)
    return oneFile && tw::devmode::GetFileGenerationMethod(&job.m_DevMode) != 9 && !EmailSplitByContent(ctx)
               ? Kind::ImagePdf
               : Kind::None;
  if (fm::IsVectorPdfCode(code)) return Kind::VectorPdf;
  const fm::FormatInfo* format = fm::FindFormat(code);
  if (!format || !fm::IsTiffCode(code) || job.m_bGenerateInMemory) return Kind::None;
  switch (format->paging) {
    case fm::TiffPaging::AlwaysOneFile: return Kind::Tiff;
    case fm::TiffPaging::Normal: return oneFile ? Kind::Tiff : Kind::None;
    case fm::TiffPaging::NeverHeldOpen: return Kind::None;
  }
  return Kind::None;
}

}  // namespace

BOOL CTWJob::OpenOutputFile() {
  m_Output.oneFile = tw::naming::DocumentGoesIntoOneFile(*this);
  m_Output.kind = DocumentOutputOf(*this, m_Output.oneFile);
  m_Output.opened = false;
  BOOL opened = TRUE;
  switch (m_Output.kind) {
    case Kind::None:
      return TRUE;
    case Kind::ImagePdf: {
      auto* pdf = dynamic_cast<CTWPDFFile*>(m_pOutputFile.get());
      opened = pdf && pdf->OpenPDFFile(m_szActFileName);
      break;
    }
    case Kind::VectorPdf: {
      auto* pdf = dynamic_cast<CTWVectorPDFFile*>(m_pOutputFile.get());
      opened = pdf && pdf->InitializeInterface(m_DevMode, m_szActFileName, m_Output.oneFile);
      break;
    }
    case Kind::Tiff: {
      auto* tiff = dynamic_cast<CTWTIFFFile*>(m_pOutputFile.get());
      opened = tiff && tiff->OpenTIFFFile(m_szActFileName);
      break;
    }
  }
  if (!opened) {
    LogMessageCapture(TWLOG_ERROR, u"! Error: Job %u: the document's output %s could not be opened", m_dwJobID,
                      m_szActFileName);
    return FALSE;
  }
  m_Output.opened = true;
  return TRUE;
}

BOOL CTWJob::CloseOutputFile() {
  // Only what was opened is closed (an abort may come before the opening).
  if (!m_Output.opened || !m_pOutputFile) return TRUE;
  m_Output.opened = false;
  switch (m_Output.kind) {
    case Kind::None:
      return TRUE;
    case Kind::ImagePdf:
      return static_cast<CTWPDFFile&>(*m_pOutputFile).ClosePDFFile();
    case Kind::VectorPdf:
      return static_cast<CTWVectorPDFFile&>(*m_pOutputFile).UninitializeInterface(m_DevMode);
    case Kind::Tiff:
      return static_cast<CTWTIFFFile&>(*m_pOutputFile).CloseTIFFFile();
  }
  return TRUE;
}

void CTWJob::FreeInMemoryOutput() { m_Output.inMemory = tw::dib::GlobalBlock(); }
