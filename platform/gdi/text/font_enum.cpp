// EnumFontFamiliesExW over the installed families and the substitution
// aliases, and the file-based private fonts (AddFontResourceExW).
#include <cstring>

#include "../text_seam.h"
#include "realized_font.h"
#include "tw/casefold.h"
#include "winerror.h"

namespace tw::gdi::text {
namespace {

// NEWTEXTMETRICEXW as the callback receives it (a TEXTMETRICW at its start).
struct NewTextMetricEx {
  TEXTMETRICW tm;
  DWORD ntmFlags;
  UINT ntmSizeEM;
  UINT ntmCellHeight;
  UINT ntmAvgWidth;
  DWORD fsUsb[4];
  DWORD fsCsb[2];
};

void copyName(WCHAR* out, std::size_t capacity, std::u16string_view name) {
  std::size_t n = std::min(name.size(), capacity - 1);
  std::memcpy(out, name.data(), n * sizeof(WCHAR));
  out[n] = 0;
}

}  // namespace

int EnumFontFamiliesEx(Dc& dc, LPLOGFONTW logfont, FONTENUMPROCW proc, LPARAM param, DWORD) {
  std::size_t len = 0;
  while (len < LF_FACESIZE && logfont->lfFaceName[len]) ++len;
  std::u16string_view wanted(logfont->lfFaceName, len);
  int result = 1;
  int dpiY = dc.Caps().logPixelsY > 0 ? dc.Caps().logPixelsY : 96;
  for (const auto& entry : EnumerableFamilies()) {
    if (!wanted.empty() && !EqualsNoCase(wanted, entry.name)) continue;
    ENUMLOGFONTEXW elf{};
    LOGFONTW& lf = elf.elfLogFont;
    lf.lfHeight = -int(dpiY * 12 / 72);
    lf.lfWeight = entry.face->weight;
    lf.lfItalic = entry.face->italic;
    lf.lfCharSet = logfont->lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : logfont->lfCharSet;
    lf.lfOutPrecision = OUT_STROKE_PRECIS;
    lf.lfClipPrecision = CLIP_STROKE_PRECIS;
    lf.lfQuality = DRAFT_QUALITY;
    copyName(lf.lfFaceName, LF_FACESIZE, entry.name);
    auto font = RealizedFont::ForLogfont(lf, Matrix{}, dpiY);
    if (!font) continue;
    NewTextMetricEx ntm{};
    ntm.tm = font->Metrics();
    ntm.ntmFlags = entry.face->weight >= FW_BOLD ? 0x20 : 0x40;  // NTM_BOLD / NTM_REGULAR
    ntm.ntmSizeEM = UINT(font->EmDev());
    ntm.ntmCellHeight = UINT(ntm.tm.tmHeight);
    ntm.ntmAvgWidth = UINT(ntm.tm.tmAveCharWidth);
    ntm.fsCsb[0] = 1;  // Latin 1
    lf.lfPitchAndFamily = BYTE((ntm.tm.tmPitchAndFamily & 0xF0) | ((ntm.tm.tmPitchAndFamily & TMPF_FIXED_PITCH) ? VARIABLE_PITCH : FIXED_PITCH));
    copyName(elf.elfFullName, LF_FULLFACESIZE, entry.name);
    copyName(elf.elfStyle, LF_FACESIZE, entry.face->style);
    copyName(elf.elfScript, LF_FACESIZE, u"Western");
    result = proc(&elf.elfLogFont, &ntm.tm, TRUETYPE_FONTTYPE, param);
    if (result == 0) break;
  }
  return result;
}

}  // namespace tw::gdi::text
