// The font registry: installed fonts through fontconfig, private fonts from
// memory, the substitution table and face matching.
#include "font_registry.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <map>

#include FT_TRUETYPE_TABLES_H

#include "tw/casefold.h"
#include "tw/lasterror.h"
#include "winerror.h"

namespace tw::gdi::text {
namespace {

std::u16string widen(std::string_view s) {
  // Font family names are ASCII in practice; other bytes are taken as
  // Latin-1 rather than dropped.
  std::u16string out;
  out.reserve(s.size());
  for (unsigned char c : s) out.push_back(c);
  return out;
}

// Windows faces and their metric-compatible stand-ins.
struct Substitute {
  std::u16string_view windows;
  std::u16string_view debian;
};
constexpr std::array kSubstitutes{
    Substitute{u"Arial", u"Liberation Sans"},
    Substitute{u"Helvetica", u"Liberation Sans"},
    Substitute{u"Arial Narrow", u"Liberation Sans Narrow"},
    Substitute{u"Times New Roman", u"Liberation Serif"},
    Substitute{u"Times", u"Liberation Serif"},
    Substitute{u"Courier New", u"Liberation Mono"},
    Substitute{u"Courier", u"Liberation Mono"},
    Substitute{u"Calibri", u"Carlito"},
    Substitute{u"Cambria", u"Caladea"},
    Substitute{u"MS Sans Serif", u"Liberation Sans"},
    Substitute{u"Microsoft Sans Serif", u"Liberation Sans"},
    Substitute{u"MS Shell Dlg", u"Liberation Sans"},
    Substitute{u"MS Shell Dlg 2", u"Liberation Sans"},
    Substitute{u"System", u"DejaVu Sans"},
    Substitute{u"Tahoma", u"DejaVu Sans"},
    Substitute{u"Verdana", u"DejaVu Sans"},
    Substitute{u"Segoe UI", u"DejaVu Sans"},
    Substitute{u"Georgia", u"DejaVu Serif"},
    Substitute{u"Consolas", u"DejaVu Sans Mono"},
    Substitute{u"Lucida Console", u"DejaVu Sans Mono"},
    Substitute{u"Fixedsys", u"DejaVu Sans Mono"},
    Substitute{u"Terminal", u"DejaVu Sans Mono"},
};

// Families tried in turn when nothing else matched, by pitch and family.
constexpr std::array<std::u16string_view, 4> kMonoFallback{u"DejaVu Sans Mono", u"Liberation Mono", u"DejaVu Sans",
                                                           u"Liberation Sans"};
constexpr std::array<std::u16string_view, 4> kSerifFallback{u"DejaVu Serif", u"Liberation Serif", u"DejaVu Sans",
                                                            u"Liberation Sans"};
constexpr std::array<std::u16string_view, 4> kSansFallback{u"DejaVu Sans", u"Liberation Sans", u"DejaVu Serif",
                                                           u"Liberation Serif"};
// CJK-capable families, used for the CJK character sets when installed.
constexpr std::array<std::u16string_view, 4> kCjkFallback{u"Noto Sans CJK JP", u"Noto Sans CJK SC", u"Droid Sans Fallback",
                                                          u"WenQuanYi Zen Hei"};

struct PrivateResource {
  std::uintptr_t id = 0;
  std::u16string file;  // AddFontResourceExW's name, empty for memory fonts
  std::vector<std::shared_ptr<const FaceInfo>> faces;
};

struct Registry {
  std::mutex mutex;
  bool installedLoaded = false;
  std::vector<std::shared_ptr<const FaceInfo>> installed;
  std::vector<PrivateResource> privates;
  std::uintptr_t nextId = 1;
};

Registry& registry() {
  static Registry* r = new Registry;  // lives for the process (used from atexit paths)
  return *r;
}

std::atomic<std::uint64_t> generation{1};

void loadInstalled(Registry& r) {
  if (r.installedLoaded) return;
  r.installedLoaded = true;
  // A configuration of our own, destroyed once the list is read: nothing of
  // fontconfig stays loaded (or shared with other users of the library).
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (!config) return;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_INDEX, FC_WEIGHT, FC_SLANT, FC_SPACING,
                                          static_cast<char*>(nullptr));
  FcFontSet* set = FcFontList(config, pattern, objects);
  if (set) {
    for (int i = 0; i < set->nfont; ++i) {
      FcPattern* p = set->fonts[i];
      FcChar8* file = nullptr;
      if (FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch) continue;
      std::string path(reinterpret_cast<const char*>(file));
      auto ext = path.substr(path.find_last_of('.') + 1);
      std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
      if (ext != "ttf" && ext != "otf" && ext != "ttc") continue;  // sfnt fonts only (tables for GetFontData)
      int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN, spacing = FC_PROPORTIONAL;
      FcPatternGetInteger(p, FC_INDEX, 0, &index);
      FcPatternGetInteger(p, FC_WEIGHT, 0, &weight);
      FcPatternGetInteger(p, FC_SLANT, 0, &slant);
      FcPatternGetInteger(p, FC_SPACING, 0, &spacing);
      FcChar8* style = nullptr;
      FcPatternGetString(p, FC_STYLE, 0, &style);
      FcChar8* family = nullptr;
      // A font may carry several family names ("DejaVu Sans", "DejaVu Sans
      // Condensed"): each is a way to ask for it.
      for (int n = 0; FcPatternGetString(p, FC_FAMILY, n, &family) == FcResultMatch; ++n) {
        auto face = std::make_shared<FaceInfo>();
        face->family = widen(reinterpret_cast<const char*>(family));
        face->style = style ? widen(reinterpret_cast<const char*>(style)) : u"";
        face->path = path;
        face->index = index;
        face->weight = std::clamp(FcWeightToOpenType(weight), 100, 1000);
        face->italic = slant != FC_SLANT_ROMAN;
        face->fixedPitch = spacing == FC_MONO;
        r.installed.push_back(std::move(face));
      }
    }
    FcFontSetDestroy(set);
  }
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  FcConfigDestroy(config);
  // Deterministic order whatever fontconfig's cache order is.
  std::stable_sort(r.installed.begin(), r.installed.end(), [](const auto& a, const auto& b) {
    if (a->family != b->family) return a->family < b->family;
    if (a->path != b->path) return a->path < b->path;
    return a->index < b->index;
  });
}

// Style distance of a face from what the LOGFONT asks for.
int styleDistance(const FaceInfo& face, int weight, bool italic) {
  return std::abs(face.weight - weight) + (face.italic != italic ? 2000 : 0);
}

std::shared_ptr<const FaceInfo> bestOf(const std::vector<std::shared_ptr<const FaceInfo>>& faces,
                                       std::u16string_view family, int weight, bool italic) {
  std::shared_ptr<const FaceInfo> best;
  int bestScore = 0;
  for (const auto& face : faces) {
    if (!EqualsNoCase(face->family, family)) continue;
    int score = styleDistance(*face, weight, italic);
    if (!best || score < bestScore) best = face, bestScore = score;
  }
  return best;
}

std::shared_ptr<const FaceInfo> findFamily(Registry& r, std::u16string_view family, int weight, bool italic) {
  for (auto it = r.privates.rbegin(); it != r.privates.rend(); ++it)  // the latest private font wins
    if (auto face = bestOf(it->faces, family, weight, italic)) return face;
  return bestOf(r.installed, family, weight, italic);
}

bool isCjkCharset(BYTE charset) {
  return charset == SHIFTJIS_CHARSET || charset == HANGUL_CHARSET || charset == GB2312_CHARSET ||
         charset == CHINESEBIG5_CHARSET;
}

std::vector<std::shared_ptr<const FaceInfo>> facesOf(FT_Face face, const std::shared_ptr<const std::vector<BYTE>>& data,
                                                     int index) {
  auto info = std::make_shared<FaceInfo>();
  info->family = widen(face->family_name ? face->family_name : "");
  info->style = widen(face->style_name ? face->style_name : "");
  info->data = data;
  info->index = index;
  info->italic = face->style_flags & FT_STYLE_FLAG_ITALIC;
  info->weight = (face->style_flags & FT_STYLE_FLAG_BOLD) ? FW_BOLD : FW_NORMAL;
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF &&
                                                                              os2->usWeightClass >= 100)
    info->weight = std::min<int>(os2->usWeightClass, 1000);
  info->fixedPitch = FT_IS_FIXED_WIDTH(face);
  info->isPrivate = true;
  if (info->family.empty()) return {};
  return {info};
}

// Parses every face of a font file held in memory.
std::vector<std::shared_ptr<const FaceInfo>> parseFaces(const std::shared_ptr<const std::vector<BYTE>>& bytes) {
  std::vector<std::shared_ptr<const FaceInfo>> faces;
  std::lock_guard lock(FreeTypeLock());
  FT_Face face = nullptr;
  if (FT_New_Memory_Face(FreeTypeLibrary(), bytes->data(), FT_Long(bytes->size()), 0, &face)) return faces;
  FT_Long count = face->num_faces;
  for (FT_Long i = 0; i < count && i < 256; ++i) {
    if (i > 0) {
      FT_Done_Face(face);
      face = nullptr;
      if (FT_New_Memory_Face(FreeTypeLibrary(), bytes->data(), FT_Long(bytes->size()), i, &face)) break;
    }
    if (FT_IS_SFNT(face) && FT_IS_SCALABLE(face))
      for (auto& f : facesOf(face, bytes, int(i))) faces.push_back(std::move(f));
  }
  if (face) FT_Done_Face(face);
  return faces;
}

HANDLE toHandle(std::uintptr_t id) { return reinterpret_cast<HANDLE>(0x7E000000u + id * 4); }

}  // namespace

FT_Library FreeTypeLibrary() {
  static FT_Library library = [] {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib)) lib = nullptr;
    return lib;
  }();
  return library;
}

std::mutex& FreeTypeLock() {
  static std::mutex* m = new std::mutex;
  return *m;
}

FT_Face OpenFace(const FaceInfo& info) {
  std::lock_guard lock(FreeTypeLock());
  FT_Library lib = FreeTypeLibrary();
  if (!lib) return nullptr;
  FT_Face face = nullptr;
  FT_Error error = info.data ? FT_New_Memory_Face(lib, info.data->data(), FT_Long(info.data->size()), info.index, &face)
                             : FT_New_Face(lib, info.path.c_str(), info.index, &face);
  if (error) return nullptr;
  // Unicode first; symbol fonts keep their MS Symbol map.
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL);
  return face;
}

void CloseFace(FT_Face face) {
  if (!face) return;
  std::lock_guard lock(FreeTypeLock());
  FT_Done_Face(face);
}

std::uint64_t RegistryGeneration() { return generation.load(); }

FaceMatch MatchFace(const LOGFONTW& lf) {
  FaceMatch match;
  std::size_t len = 0;
  while (len < LF_FACESIZE && lf.lfFaceName[len]) ++len;
  std::u16string_view name(lf.lfFaceName, len);
  match.requested = std::u16string(name);
  if (!name.empty() && name.front() == u'@') name.remove_prefix(1);  // vertical-writing request: same face
  int weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<int>(lf.lfWeight, 1, 1000);
  bool italic = lf.lfItalic != 0;

  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  loadInstalled(r);
  std::shared_ptr<const FaceInfo> face;
  if (!name.empty()) face = findFamily(r, name, weight, italic);
  if (!face && !name.empty())
    for (const auto& s : kSubstitutes)
      if (EqualsNoCase(s.windows, name) && (face = findFamily(r, s.debian, weight, italic))) break;
  if (!face && isCjkCharset(lf.lfCharSet))
    for (auto family : kCjkFallback)
      if ((face = findFamily(r, family, weight, italic))) break;
  if (!face) {
    BYTE pitch = lf.lfPitchAndFamily & 3, family = lf.lfPitchAndFamily & 0xF0;
    const auto& list = (pitch == FIXED_PITCH || family == FF_MODERN) ? kMonoFallback
                       : family == FF_ROMAN                          ? kSerifFallback
                                                                     : kSansFallback;
    for (auto f : list)
      if ((face = findFamily(r, f, weight, italic))) break;
  }
  if (!face && !r.installed.empty()) face = r.installed.front();
  if (!face) return match;
  match.face = face;
  match.synthBold = weight >= FW_SEMIBOLD && face->weight < FW_SEMIBOLD;
  match.synthItalic = italic && !face->italic;
  if (match.requested.empty()) match.requested = face->family;
  return match;
}

HANDLE AddPrivateFonts(std::shared_ptr<const std::vector<BYTE>> bytes, DWORD& count) {
  count = 0;
  auto faces = parseFaces(bytes);
  if (faces.empty()) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  PrivateResource res;
  res.id = r.nextId++;
  res.faces = std::move(faces);
  count = DWORD(res.faces.size());
  r.privates.push_back(std::move(res));
  ++generation;
  return toHandle(r.privates.back().id);
}

bool RemovePrivateFonts(HANDLE resource) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = std::find_if(r.privates.begin(), r.privates.end(),
                         [&](const PrivateResource& p) { return p.file.empty() && toHandle(p.id) == resource; });
  if (it == r.privates.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  r.privates.erase(it);  // faces in use stay alive through their shared_ptr
  ++generation;
  return true;
}

int AddPrivateFontFile(const std::u16string& path, std::shared_ptr<const std::vector<BYTE>> bytes) {
  auto faces = parseFaces(bytes);
  if (faces.empty()) {
    SetLastError(ERROR_INVALID_DATA);
    return 0;
  }
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  PrivateResource res;
  res.id = r.nextId++;
  res.file = path;
  res.faces = std::move(faces);
  int count = int(res.faces.size());
  r.privates.push_back(std::move(res));
  ++generation;
  return count;
}

bool RemovePrivateFontFile(const std::u16string& path) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  // Added several times: removed one at a time, the latest first.
  auto it = std::find_if(r.privates.rbegin(), r.privates.rend(),
                         [&](const PrivateResource& p) { return !p.file.empty() && EqualsNoCase(p.file, path); });
  if (it == r.privates.rend()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  r.privates.erase(std::next(it).base());
  ++generation;
  return true;
}

std::vector<EnumEntry> EnumerableFamilies() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  loadInstalled(r);
  std::vector<EnumEntry> out;
  auto add = [&](std::u16string_view name, std::u16string_view family) {
    for (const auto& e : out)
      if (EqualsNoCase(e.name, name)) return;
    if (auto face = bestOf(r.installed, family, FW_NORMAL, false)) out.push_back({std::u16string(name), face});
  };
  for (const auto& face : r.installed) add(face->family, face->family);
  for (const auto& s : kSubstitutes) add(s.windows, s.debian);
  return out;
}

}  // namespace tw::gdi::text
