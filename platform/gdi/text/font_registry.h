// Internal: the process-wide font registry. It knows the installed outline
// fonts (listed once through fontconfig), the process-private fonts added
// from memory or files, and the table that maps the faces Windows documents
// ask for onto metric-compatible Debian fonts. MatchFace turns any LOGFONTW
// into a face: it never fails while any outline font is installed.
//
// All functions are thread-safe. FreeType faces are opened and closed under
// FreeTypeLock(); each opened face is then used by one owner at a time.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "wingdi.h"

namespace tw::gdi::text {

struct FaceInfo {
  std::u16string family;  // the family name the font carries
  std::u16string style;   // "Regular", "Bold Italic", ...
  std::string path;       // installed file (empty for private fonts)
  std::shared_ptr<const std::vector<BYTE>> data;  // private font bytes
  int index = 0;          // face index in a collection
  int weight = FW_NORMAL;
  bool italic = false;
  bool fixedPitch = false;
  bool isPrivate = false;
};

struct FaceMatch {
  std::shared_ptr<const FaceInfo> face;  // null only when no font at all is available
  bool synthBold = false;                // the LOGFONT asks for bold the face lacks
  bool synthItalic = false;
  std::u16string requested;              // the face name asked for (GetTextFaceW)
};

// The face that draws `lf` (substitution and style matching applied).
FaceMatch MatchFace(const LOGFONTW& lf);

// Bumped whenever private fonts are added or removed: realised fonts made
// before the change are not reused for new matches.
std::uint64_t RegistryGeneration();

// The FreeType library (created on first use) and the lock that guards
// opening and closing faces on it.
FT_Library FreeTypeLibrary();
std::mutex& FreeTypeLock();
// Opens `face` (under the lock); null on failure. Close with CloseFace.
FT_Face OpenFace(const FaceInfo& face);
void CloseFace(FT_Face face);

// Private fonts from font file bytes (TrueType, OpenType, collections).
// Returns the resource handle and the number of faces added, or null with
// the last error set (ERROR_INVALID_DATA for bytes that hold no font).
HANDLE AddPrivateFonts(std::shared_ptr<const std::vector<BYTE>> bytes, DWORD& count);
bool RemovePrivateFonts(HANDLE resource);
// The same keyed by a file name (AddFontResourceExW with FR_PRIVATE).
int AddPrivateFontFile(const std::u16string& path, std::shared_ptr<const std::vector<BYTE>> bytes);
bool RemovePrivateFontFile(const std::u16string& path);

// Installed families and the substitution aliases, for EnumFontFamiliesExW
// (private fonts are not enumerated, as on Windows): each name once.
struct EnumEntry {
  std::u16string name;                    // the family name enumerated
  std::shared_ptr<const FaceInfo> face;   // the regular face drawing it
};
std::vector<EnumEntry> EnumerableFamilies();

}  // namespace tw::gdi::text
