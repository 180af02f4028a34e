// The vector PDF writers' document settings: images, document information,
// fonts, encryption and viewer settings, from the Save-As values and the
// "Pdf Settings" (PDF/A: "PdfA Settings") values of the printer.
#include <windows.h>

#include <string>
#include <vector>

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/settings/effective.h"
#include "job/settings/settings_store.h"
#include "output/pdf/pdf_password.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/page_seams.h"
#include "tw_pdf_interface.h"

namespace st = tw::settings;
namespace dmns = tw::devmode;

namespace {

constexpr WCHAR kVersion[] = u"17.63";

// The settings of one family: the PDF keys or the PDF/A keys.
struct Keys {
  st::Setting<st::ValueType::Number> stream, color, quality, mono;
  st::Setting<st::ValueType::Text> title, author, subject, keywords;
  st::Setting<st::ValueType::Number> transparency, background, url, resamplingMethod, resamplingRate, patterns;
  st::Setting<st::ValueType::Number> layout, view, magnification, atPage, zoom;
  st::Setting<st::ValueType::Number> menubar, toolbar, controls, fit, centre, showTitle;
};
constexpr Keys kPdf{st::PdfStreamCompression,   st::PdfColorImageCompression, st::PdfJpegQuality,
                    st::PdfMonoImageCompression, st::PdfDocumentTitle,         st::PdfDocumentAuthor,
                    st::PdfDocumentSubject,      st::PdfDocumentKeywords,      st::PdfTransparency,
                    st::PdfAddWhiteBackgroundToPage, st::PdfUrlParsing,      st::PdfResamplingMethod,
                    st::PdfResamplingRate,       st::PdfColorPatterns,         st::PdfOpenPageLayout,
                    st::PdfOpenPageView,         st::PdfOpenMagnification,     st::PdfOpenAtPage,
                    st::PdfOpenZoom,             st::PdfOpenHideMenubar,       st::PdfOpenHideToolbar,
                    st::PdfOpenHideControls,     st::PdfOpenFitToWindow,       st::PdfOpenCenterWindow,
                    st::PdfOpenShowTitle};
constexpr Keys kPdfA{st::PdfAStreamCompression,   st::PdfAColorImageCompression, st::PdfAJpegQuality,
                     st::PdfAMonoImageCompression, st::PdfADocumentTitle,         st::PdfADocumentAuthor,
                     st::PdfADocumentSubject,      st::PdfADocumentKeywords,      st::PdfATransparency,
                     st::PdfAAddWhiteBackgroundToPage, st::PdfAUrlParsing,      st::PdfAResamplingMethod,
                     st::PdfAResamplingRate,       st::PdfAColorPatterns,         st::PdfAOpenPageLayout,
                     st::PdfAOpenPageView,         st::PdfAOpenMagnification,     st::PdfAOpenAtPage,
                     st::PdfAOpenZoom,             st::PdfAOpenHideMenubar,       st::PdfAOpenHideToolbar,
                     st::PdfAOpenHideControls,     st::PdfAOpenFitToWindow,       st::PdfAOpenCenterWindow,
                     st::PdfAOpenShowTitle};

const Keys& KeysOf(bool pdfa) { return pdfa ? kPdfA : kPdf; }

// The job's settings for the record, with the scope kept alive beside them.
struct JobSettings {
  st::SettingsScope scope;
  st::EffectiveContext ctx;
  JobSettings(const CTWJob& job, const TarnwickDEVMODE& record)
      : scope(job.SettingsScope()), ctx{scope, &record, job.MergeStateForSettings(), job.m_bTiffViewer != FALSE} {}
};

std::vector<std::u16string> FontList(const st::EffectiveContext& ctx, st::Setting<st::ValueType::Number> count,
                                     st::Setting<st::ValueType::Text> name) {
  std::vector<std::u16string> names;
  const LONG n = st::Effective(ctx, count);
  // The count comes from the registry: a list longer than any font table is not believed.
  for (LONG i = 1; i <= n && i <= 4096; ++i) {
    st::TextRead read = st::EffectiveText(ctx, name, 0, st::Fill{{}, static_cast<DWORD>(i)});
    if (read.found && !read.value.empty()) names.push_back(read.value);
  }
  return names;
}

BOOL SetFontList(CPDFInt& pdf, const std::vector<std::u16string>& names, bool forbid) {
  std::vector<LPCWSTR> list;
  list.reserve(names.size());
  for (const auto& n : names) list.push_back(n.c_str());
  return forbid ? pdf.SetForbidEmbedFontsW(list.data(), static_cast<int>(list.size()))
                : pdf.SetForceEmbedFontsW(list.data(), static_cast<int>(list.size()));
}

}  // namespace

void CTWVectorPDFFile::SetImageSettings(const TarnwickDEVMODE& record, bool pdfa) {
  const Keys& k = KeysOf(pdfa);
  JobSettings s(*m_pJob, record);
  static constexpr int kDepth[4] = {0, 2, 1, 3};
  m_Pdf.pdf->SetColorDepth(kDepth[st::EffectiveColorMode(s.ctx) & 3]);
  m_Pdf.pdf->SetDitheringMethod(record.Dithering >= 1 && record.Dithering <= 9 ? static_cast<int>(record.Dithering) : 0);
  m_Pdf.pdf->SetColorIntensity(static_cast<int>(std::min<DWORD>(dmns::GetBrightness(&record), 199)));
  const LONG stream = st::Effective(s.ctx, k.stream), color = st::Effective(s.ctx, k.color);
  const LONG mono = st::Effective(s.ctx, k.mono);
  m_Pdf.pdfInt->SetStreamFilter(stream);
  m_Pdf.pdfInt->SetColorImageFilter(color);
  Trace(u"Stream compression: %d, colour image compression: %d", static_cast<int>(stream), static_cast<int>(color));
  if (color == 207) {
    const LONG quality = st::Effective(s.ctx, k.quality);
    m_Pdf.pdfInt->SetColorImageQuality(quality);
    Trace(u"JPEG quality: %d", static_cast<int>(quality));
  }
  m_Pdf.pdfInt->SetMonoImageFilter(mono);
  Trace(u"Mono image compression: %d", static_cast<int>(mono));
}

void CTWVectorPDFFile::SetDocumentInfo(const TarnwickDEVMODE& record, bool pdfa) {
  const Keys& k = KeysOf(pdfa);
  JobSettings s(*m_pJob, record);
  CPDFDocInfo info(false);
  st::TextRead title = st::EffectiveText(s.ctx, k.title);
  if (title.found) {
    if (title.value.empty()) title.value = m_pJob->m_szDocumentName;
    info.SetTitle(title.value.c_str());
    Trace(u"Title: %s", title.value.c_str());
  }
  const std::u16string printer = st::SettingsPrinterName(record);
  WCHAR creator[MAX_PATH + 32];
  swprintf(creator, std::size(creator), u"%s version %s", printer.c_str(), kVersion);
  info.SetCreator(creator);
  Trace(u"Creator: %s", creator);
  if (st::TextRead author = st::EffectiveText(s.ctx, k.author); author.found) {
    info.SetAuthor(author.value.c_str());
    Trace(u"Author: %s", author.value.c_str());
  }
  if (st::TextRead subject = st::EffectiveText(s.ctx, k.subject); subject.found) {
    info.SetSubject(subject.value.c_str());
    Trace(u"Subject: %s", subject.value.c_str());
  }
  if (st::TextRead keywords = st::EffectiveText(s.ctx, k.keywords); keywords.found) {
    info.SetKeywords(keywords.value.c_str());
    Trace(u"Keywords: %s", keywords.value.c_str());
  }
  m_Pdf.pdfInt->SetDocInfo(&info);
}

void CTWVectorPDFFile::SetViewerSettings(const TarnwickDEVMODE& record, bool pdfa) {
  const Keys& k = KeysOf(pdfa);
  JobSettings s(*m_pJob, record);
  CPDFInt& pdfInt = *m_Pdf.pdfInt;
  CPDF& pdf = *m_Pdf.pdf;
  const tw::render::SheetState sheet = tw::render::GetSheetState(*m_pJob);
  if (sheet.pagesPerSheet < 2 && (record.Flags & (dmns::flags::MirrorLeftRight | dmns::flags::MirrorTopBottom)))
    pdfInt.SetFlipping((record.Flags & dmns::flags::MirrorLeftRight) != 0,
                       (record.Flags & dmns::flags::MirrorTopBottom) != 0);
  if (!pdfa) pdfInt.SetLinearized(st::Effective(s.ctx, st::PdfLinearized) != 0);
  pdfInt.SetTransparency(st::Effective(s.ctx, k.transparency) != 0);
  pdfInt.SetDrawPageBackground(st::Effective(s.ctx, k.background) != 0);
  pdfInt.SetUrlParsing(st::Effective(s.ctx, k.url) != 0);
  pdf.SetResamplingMethod(st::Effective(s.ctx, k.resamplingMethod));
  pdf.SetResamplingRate(st::Effective(s.ctx, k.resamplingRate));
  pdf.EnableColorPattern(st::Effective(s.ctx, k.patterns) != 0);
  pdfInt.SetPdfType(pdfa ? 2 : 0);

  struct IntKey {
    int key;
    st::Setting<st::ValueType::Number> setting;
    const WCHAR* name;
  };
  for (const IntKey& v : {IntKey{PDF_KEY_PAGE_LAYOUT, k.layout, u"Open Page Layout"},
                          IntKey{PDF_KEY_PAGE_MODE, k.view, u"Open Page View"},
                          IntKey{PDF_KEY_MAGNIFICATION, k.magnification, u"Open Magnification"}}) {
    const LONG value = st::Effective(s.ctx, v.setting);
    pdfInt.SetIntValue(v.key, value);
    Trace(u"%s: %d", v.name, static_cast<int>(value));
  }
  for (const IntKey& v : {IntKey{PDF_KEY_HIDE_MENUBAR, k.menubar, u"Open Hide Menubar"},
                          IntKey{PDF_KEY_HIDE_TOOLBAR, k.toolbar, u"Open Hide Toolbar"},
                          IntKey{PDF_KEY_HIDE_WINDOWUI, k.controls, u"Open Hide Controls"},
                          IntKey{PDF_KEY_FIT_WINDOW, k.fit, u"Open Fit To Window"},
                          IntKey{PDF_KEY_CENTER_WINDOW, k.centre, u"Open Center Window"},
                          IntKey{PDF_KEY_DISPLAY_TITLE, k.showTitle, u"Open Show Title"}}) {
    const LONG value = st::Effective(s.ctx, v.setting);
    pdfInt.SetBoolValue(v.key, value != 0);
    Trace(u"%s: %d", v.name, static_cast<int>(value));
  }
  for (const IntKey& v : {IntKey{PDF_KEY_OPEN_PAGE, k.atPage, u"Open At Page"},
                          IntKey{PDF_KEY_ZOOM, k.zoom, u"Open Zoom"}}) {
    const LONG value = st::Effective(s.ctx, v.setting);
    pdf.SetIntValue(v.key, value);
    Trace(u"%s: %d", v.name, static_cast<int>(value));
  }
}

BOOL CTWVectorPDFFile::SetPdfSettings(const TarnwickDEVMODE& record) {
  Trace(u"CTWVectorPDFFile::SetPdfSettings starts...");
  if (!m_Pdf.pdfInt || !m_Pdf.pdf || !m_pJob) return FALSE;
  JobSettings s(*m_pJob, record);
  CPDFInt& pdfInt = *m_Pdf.pdfInt;
  SetImageSettings(record, false);
  m_Pdf.pdf->SetImageMergingMode(static_cast<int>(m_pJob->m_dwBitmapMergingMode));
  SetDocumentInfo(record, false);
  SetPdfEncryption(record);

  pdfInt.SetEmbedFontsByDefault(st::Effective(s.ctx, st::PdfEmbedAllFonts) != 0);
  pdfInt.SetSubsetFonts(st::Effective(s.ctx, st::PdfCreateSubset) != 0);
  const DWORD code = st::EffectiveFileFormat(s.ctx);
  pdfInt.SetRemoveFontTables(code == 40 || code == 41);
  pdfInt.SetEmbedLicensedFonts(st::Effective(s.ctx, st::PdfEmbedLicensedFonts) != 0);
  // The Save-As path presets "Embed CID fonts only".
  const bool cidOnly = s.ctx.SaveAsApplies() ? st::EffectiveSaveAs(s.ctx, st::SaveAsDword{99}).value_or(1) != 0
                                             : st::Effective(s.ctx, st::PdfEmbedCidFontsOnly) != 0;
  if (cidOnly) {
    pdfInt.SetEmbedAdobeFonts(TRUE);
    pdfInt.SetEmbedWindowsFonts(TRUE);
    pdfInt.SetEmbedCIDFontsOnly(TRUE);
  } else {
    pdfInt.SetEmbedAdobeFonts(st::Effective(s.ctx, st::PdfEmbedAdobeFonts) != 0);
    pdfInt.SetEmbedWindowsFonts(st::Effective(s.ctx, st::PdfEmbedWindowsFonts) != 0);
    pdfInt.SetEmbedCIDFontsOnly(FALSE);
  }
  if (!SetFontList(pdfInt, FontList(s.ctx, st::PdfForceEmbedFontCount, st::PdfForceEmbedFont), false))
    Trace(u"CTWVectorPDFFile::SetPdfSettings: Error in SetForceEmbedFonts.");
  if (!SetFontList(pdfInt, FontList(s.ctx, st::PdfForbidEmbedFontCount, st::PdfForbidEmbedFont), true))
    Trace(u"CTWVectorPDFFile::SetPdfSettings: Error in SetForbidEmbedFonts.");
  SetViewerSettings(record, false);
  return TRUE;
}

BOOL CTWPDFAFile::SetPdfSettings(const TarnwickDEVMODE& record) {
  Trace(u"CTWPDFAFile::SetPdfSettings starts...");
  if (!m_Pdf.pdfInt || !m_Pdf.pdf || !m_pJob) return FALSE;
  m_Pdf.pdfInt->SetRemoveFontTables(FALSE);
  SetImageSettings(record, true);
  SetDocumentInfo(record, true);
  // No encryption and no font settings: a PDF/A file embeds every font and is never encrypted.
  SetViewerSettings(record, true);
  return TRUE;
}

BOOL CTWPDFAFile::SetPdfEncryption(const TarnwickDEVMODE&) {
  Trace(u"CTWPDFAFile::SetPdfEncryption: a PDF/A document is not encrypted.");
  return TRUE;
}

BOOL CTWVectorPDFFile::SetPdfEncryption(const TarnwickDEVMODE& record) {
  if (!m_Pdf.pdfInt || !m_pJob) return FALSE;
  JobSettings s(*m_pJob, record);
  LONG level = st::Effective(s.ctx, st::PdfDocumentEncryption);
  if (level != 0 && st::Read(s.scope, st::JobPromptUserForPassword) &&
      !st::Read(s.scope, st::JobPasswordPromptResult))
    level = 0;
  st::PdfPasswords passwords;
  if (s.ctx.merge.HasRecord() &&
      (!s.ctx.merge.record->userPassword.empty() || !s.ctx.merge.record->ownerPassword.empty())) {
    passwords = {s.ctx.merge.record->userPassword, s.ctx.merge.record->ownerPassword};
    if (level == 0) level = 4;
  } else {
    passwords = st::JobPdfPasswords(s.ctx);
  }
  Trace(u"iEncryption: %d", static_cast<int>(level));
  Trace(u"User password: %s", passwords.user.c_str());
  Trace(u"Owner password: %s", passwords.owner.c_str());
  if (!passwords.user.empty() && passwords.owner.empty()) passwords.owner = tw::output::RandomOwnerPassword();
  if (passwords.user.empty() && passwords.owner.empty()) level = 0;
  if (!m_Pdf.pdfInt->SetEncryptionW(static_cast<int>(level), passwords.user.c_str(), passwords.owner.c_str()))
    Trace(u"CTWVectorPDFFile::SetPdfSettings: Error in SetEncryption.");
  if (!passwords.owner.empty() && level != 0) {
    const LONG p = st::Effective(s.ctx, st::PdfDocumentSecurityFlag);
    m_Pdf.pdfInt->SetUserPermissions((p & 1) != 0, (p & 2) != 0, (p & 8) != 0, (p & 4) != 0);
  } else {
    m_Pdf.pdfInt->SetUserPermissions(TRUE, TRUE, TRUE, TRUE);
  }
  return TRUE;
}
