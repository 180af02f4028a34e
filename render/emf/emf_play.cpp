// Playing a page's records: the font-quality rule, temporary font faces,
// the text records, and the GDI mutex around each enumeration.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/settings/settings_store.h"
#include "render/emf/emf_internal.h"
#include "tw/wingdi_emf.h"

namespace tw::render {
namespace {

bool IsTextRecord(DWORD type) {
  return type == EMR_EXTTEXTOUTA || type == EMR_EXTTEXTOUTW || type == EMR_POLYTEXTOUTA ||
         type == EMR_POLYTEXTOUTW || type == EMR_SMALLTEXTOUT;
}

// The face name of a font record (at most 32 units, up to its terminator).
std::u16string FaceOf(const LOGFONTW& lf) {
  std::u16string face;
  for (WCHAR c : lf.lfFaceName) {
    if (!c) break;
    face.push_back(c);
  }
  return face;
}

struct PlayState {
  const PlayOptions* options;
  LONG xDpi;
  DWORD colorMode;
  bool eudcFont = false;  // the look-ahead found a face with its own EUDC link
  bool tempDirRead = false;
  std::u16string tempDir;
};

// The path of a temporary font file named by its face: "TEMP" of the
// printer's variables with the face appended.
std::u16string TemporaryFontPath(PlayState& state, const std::u16string& face) {
  if (!state.tempDirRead) {
    state.tempDirRead = true;
    auto scope = state.options->job->SettingsScope();
    state.tempDir = tw::settings::ReadEnvVar(scope, u"TEMP").value_or(u"");
    if (state.tempDir.empty() || state.tempDir.back() != u'\\') state.tempDir += u'\\';
  }
  return state.tempDir + face;
}

// A font record played with the quality of "Antialiasing" and its face
// upper-cased; a ".TMP" face is registered from the temporary folder first.
BOOL PlayFontRecord(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, UINT handles, PlayState& state) {
  if (record->nSize < EMR_EXTCREATEFONTINDIRECTW_MIN_SIZE) return PlayEnhMetaFileRecord(hdc, table, record, handles);
  // The record is changed in a copy: the page's metafile stays as it came.
  std::array<BYTE, 512> small;
  std::vector<BYTE> large;
  BYTE* copy = small.data();
  if (record->nSize > small.size()) {
    large.resize(record->nSize);
    copy = large.data();
  }
  std::memcpy(copy, record, record->nSize);
  constexpr std::size_t kLogFont = offsetof(EMREXTCREATEFONTINDIRECTW, elfw);
  LOGFONTW lf;
  std::memcpy(&lf, copy + kLogFont, sizeof lf);
  lf.lfQuality = FontQualityFor(state.options->antialiasing, state.colorMode, state.xDpi, lf.lfQuality);
  for (WCHAR& c : lf.lfFaceName) {
    if (!c) break;
    c = towupper(c);
  }
  std::memcpy(copy + kLogFont, &lf, sizeof lf);
  std::u16string face = FaceOf(lf);
  if (face.find(u".TMP") != std::u16string::npos) {
    std::u16string path = TemporaryFontPath(state, face);
    if (!AddTemporaryFont(*state.options->job, path.c_str()))
      Trace(u"CEMFImage: temporary font %s not registered", path.c_str());
  }
  return PlayEnhMetaFileRecord(hdc, table, reinterpret_cast<const ENHMETARECORD*>(copy), handles);
}

int CALLBACK PlayRecordProc(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM param) {
  auto& state = *reinterpret_cast<PlayState*>(param);
  const PlayOptions& o = *state.options;
  UINT n = static_cast<UINT>(handles);
  // A record that does not play is passed over, as a whole-page play does.
  if (o.noText) {
    if (!IsTextRecord(record->iType)) PlayEnhMetaFileRecord(hdc, table, record, n);
    return 1;
  }
  switch (record->iType) {
    case EMR_EXTCREATEFONTINDIRECTW:
      PlayFontRecord(hdc, table, record, n, state);
      return 1;
    case EMR_SETLINKEDUFIS:
      if (state.eudcFont) return 1;
      break;
    default:
      if (IsTextRecord(record->iType)) {
        if (o.textToCollector) {
          PlayTextRecord(*o.job, hdc, table, record, n);
          return 1;
        }
      }
      break;
  }
  PlayEnhMetaFileRecord(hdc, table, record, n);
  return 1;
}

struct LookAhead {
  const CTWJob* job;
  bool found = false;
};

int CALLBACK EudcLookAheadProc(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM param) {
  auto& look = *reinterpret_cast<LookAhead*>(param);
  if (record->iType != EMR_EXTCREATEFONTINDIRECTW || record->nSize < EMR_EXTCREATEFONTINDIRECTW_MIN_SIZE) return 1;
  LOGFONTW lf;
  std::memcpy(&lf, reinterpret_cast<const BYTE*>(record) + offsetof(EMREXTCREATEFONTINDIRECTW, elfw), sizeof lf);
  std::u16string face = FaceOf(lf);
  if (FaceHasEudcLink(*look.job, face.c_str())) {
    look.found = true;
    return 0;
  }
  return 1;
}

}  // namespace

GdiMutexScope::GdiMutexScope(CTWJob& job)
    : job_(job),
      mutex_(job.m_hGdiMutex),
      asked_(tw::job::GdiMutexTime::Clock::now()),
      owned_(job.AcquireGdiMutex() != FALSE) {
  obtained_ = tw::job::GdiMutexTime::Clock::now();
  if (!owned_) Trace(u"CEMFImage: GDI mutex not obtained, rendering goes on");
}

GdiMutexScope::~GdiMutexScope() {
  if (owned_) ReleaseMutex(mutex_);
  job_.m_GdiMutexTime.Add(asked_, obtained_, tw::job::GdiMutexTime::Clock::now(), owned_);
}

BYTE FontQualityFor(DWORD antialiasing, DWORD colorMode, LONG xDpi, BYTE asked) {
  switch (antialiasing) {
    case 0: return NONANTIALIASED_QUALITY;
    case 1: return ANTIALIASED_QUALITY;
    case 2: return CLEARTYPE_QUALITY;
    case 3: return asked;
    default: break;
  }
  if (colorMode == 0) return NONANTIALIASED_QUALITY;
  if (xDpi < 150) return asked;
  if (colorMode == 1) return asked == NONANTIALIASED_QUALITY ? NONANTIALIASED_QUALITY : ANTIALIASED_QUALITY;
  if (asked == NONANTIALIASED_QUALITY) return NONANTIALIASED_QUALITY;
  if (asked == CLEARTYPE_QUALITY || asked == CLEARTYPE_NATURAL_QUALITY) return CLEARTYPE_QUALITY;
  return ANTIALIASED_QUALITY;
}

BOOL PlayPage(HENHMETAFILE emf, HDC hdc, const RECT& rect, const PlayOptions& o) {
  PlayState state{&o, tw::devmode::GetXDPI(o.dm), tw::devmode::GetColorMode(o.dm)};
  if (!o.noText) {
    // The look-ahead costs a walk over the records: only when the job has EUDC links at all.
    if (JobHasEudcLinks(*o.job)) {
      LookAhead look{o.job};
      GdiMutexScope mutex(*o.job);
      EnumEnhMetaFile(nullptr, emf, EudcLookAheadProc, &look, nullptr);
      state.eudcFont = look.found;
    }
    if (o.collectFirst) {
      GdiMutexScope mutex(*o.job);
      if (!CollectPageText(*o.job, emf, hdc, rect)) Trace(u"CEMFImage: the text collector's first pass failed");
    }
  }
  GdiMutexScope mutex(*o.job);
  return EnumEnhMetaFile(hdc, emf, PlayRecordProc, &state, &rect);
}

}  // namespace tw::render
