// TrueType / OpenType font files as tables, for the two changes the engine
// makes to fonts: removing hinting from the embedded subsets of a compact
// document, and renaming the face of the invisible text layer.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace twpdf {

struct SfntTable {
  std::uint32_t tag = 0;
  std::vector<BYTE> data;
};

struct Sfnt {
  std::uint32_t version = 0x00010000;
  std::vector<SfntTable> tables;
  SfntTable* Find(std::uint32_t tag);
};

constexpr std::uint32_t SfntTag(const char (&s)[5]) {
  return (std::uint32_t(BYTE(s[0])) << 24) | (std::uint32_t(BYTE(s[1])) << 16) | (std::uint32_t(BYTE(s[2])) << 8) |
         BYTE(s[3]);
}

// Reads a font file (the first face of a collection); false for data that
// is not a font or whose tables lie outside it.
bool ReadSfnt(std::span<const BYTE> file, Sfnt& out);
// The font file of `font`: tables sorted by tag, 4-byte aligned, with their
// checksums and the head table's checksum adjustment.
std::vector<BYTE> WriteSfnt(Sfnt font);

// Drops the hinting tables (cvt, fpgm, prep, hdmx, LTSH, VDMX, gasp, kern)
// and every glyph's instructions; false (font unchanged) when the glyph
// data cannot be read.
bool StripHinting(Sfnt& font);

// Gives the font the family, full and PostScript name `name` (Windows and
// Macintosh name records), replacing all its names.
void RenameFont(Sfnt& font, std::string_view name);

}  // namespace twpdf
