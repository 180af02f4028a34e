#include "sfnt.h"

#include <algorithm>
#include <string>
#include <tuple>

namespace twpdf {
namespace {

std::uint32_t be32(const BYTE* p) { return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3]; }
std::uint16_t be16(const BYTE* p) { return std::uint16_t((p[0] << 8) | p[1]); }
void put32(std::vector<BYTE>& v, std::uint32_t x) {
  for (int s : {24, 16, 8, 0}) v.push_back(BYTE(x >> s));
}
void put16(std::vector<BYTE>& v, std::uint16_t x) {
  v.push_back(BYTE(x >> 8));
  v.push_back(BYTE(x));
}
void set32(BYTE* p, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) p[i] = BYTE(x >> (24 - 8 * i));
}

std::uint32_t checksum(const std::vector<BYTE>& data) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < data.size(); i += 4) {
    BYTE w[4] = {0, 0, 0, 0};
    for (std::size_t k = 0; k < 4 && i + k < data.size(); ++k) w[k] = data[i + k];
    sum += be32(w);
  }
  return sum;
}

// A glyph without its instructions; false for data that does not parse.
bool stripGlyph(std::span<const BYTE> g, std::vector<BYTE>& out) {
  if (g.empty()) return true;  // an empty glyph stays empty
  if (g.size() < 10) return false;
  int contours = std::int16_t(be16(g.data()));
  if (contours >= 0) {
    std::size_t at = 10 + 2 * std::size_t(contours);
    if (g.size() < at + 2) return false;
    std::size_t instructions = be16(g.data() + at);
    if (g.size() < at + 2 + instructions) return false;
    out.insert(out.end(), g.begin(), g.begin() + std::ptrdiff_t(at));
    put16(out, 0);
    out.insert(out.end(), g.begin() + std::ptrdiff_t(at + 2 + instructions), g.end());
    return true;
  }
  // Composite: component records up to the last, whose flags may announce
  // instructions after it.
  constexpr std::uint16_t kArgsAreWords = 0x1, kHaveScale = 0x8, kMoreComponents = 0x20, kXYScale = 0x40,
                          kTwoByTwo = 0x80, kHaveInstructions = 0x100;
  std::size_t at = 10, lastFlags = 0;
  out.insert(out.end(), g.begin(), g.begin() + 10);
  for (;;) {
    if (g.size() < at + 4) return false;
    std::uint16_t flags = be16(g.data() + at);
    std::size_t size = 4 + ((flags & kArgsAreWords) ? 4 : 2);
    if (flags & kHaveScale) size += 2;
    else if (flags & kXYScale) size += 4;
    else if (flags & kTwoByTwo) size += 8;
    if (g.size() < at + size) return false;
    lastFlags = out.size();
    out.insert(out.end(), g.begin() + std::ptrdiff_t(at), g.begin() + std::ptrdiff_t(at + size));
    at += size;
    if (!(flags & kMoreComponents)) break;
  }
  std::uint16_t flags = std::uint16_t(be16(out.data() + lastFlags) & ~kHaveInstructions);
  out[lastFlags] = BYTE(flags >> 8);
  out[lastFlags + 1] = BYTE(flags);
  return true;
}

}  // namespace

SfntTable* Sfnt::Find(std::uint32_t tag) {
  for (SfntTable& t : tables)
    if (t.tag == tag) return &t;
  return nullptr;
}

bool ReadSfnt(std::span<const BYTE> file, Sfnt& out) {
  std::size_t base = 0;
  if (file.size() >= 16 && be32(file.data()) == SfntTag("ttcf")) {
    if (be32(file.data() + 8) == 0) return false;
    base = be32(file.data() + 12);  // the first face
  }
  if (file.size() < base + 12) return false;
  out.version = be32(file.data() + base);
  std::size_t count = be16(file.data() + base + 4);
  if (file.size() < base + 12 + 16 * count) return false;
  out.tables.clear();
  for (std::size_t i = 0; i < count; ++i) {
    const BYTE* entry = file.data() + base + 12 + 16 * i;
    std::size_t offset = be32(entry + 8), length = be32(entry + 12);
    if (offset > file.size() || length > file.size() - offset) return false;
    out.tables.push_back({be32(entry), std::vector<BYTE>(file.begin() + std::ptrdiff_t(offset),
                                                         file.begin() + std::ptrdiff_t(offset + length))});
  }
  return !out.tables.empty();
}

std::vector<BYTE> WriteSfnt(Sfnt font) {
  std::sort(font.tables.begin(), font.tables.end(), [](const SfntTable& a, const SfntTable& b) { return a.tag < b.tag; });
  SfntTable* head = font.Find(SfntTag("head"));
  if (head && head->data.size() >= 12) set32(head->data.data() + 8, 0);
  std::uint16_t n = std::uint16_t(font.tables.size()), power = 1, log = 0;
  while (power * 2 <= n) power *= 2, ++log;
  std::vector<BYTE> out;
  put32(out, font.version);
  put16(out, n);
  put16(out, std::uint16_t(power * 16));
  put16(out, log);
  put16(out, std::uint16_t(n * 16 - power * 16));
  std::size_t offset = 12 + 16 * std::size_t(n);
  for (const SfntTable& t : font.tables) {
    put32(out, t.tag);
    put32(out, checksum(t.data));
    put32(out, std::uint32_t(offset));
    put32(out, std::uint32_t(t.data.size()));
    offset += (t.data.size() + 3) & ~std::size_t(3);
  }
  std::size_t headAt = 0;
  for (const SfntTable& t : font.tables) {
    if (t.tag == SfntTag("head")) headAt = out.size();
    out.insert(out.end(), t.data.begin(), t.data.end());
    out.resize((out.size() + 3) & ~std::size_t(3), 0);
  }
  if (head && head->data.size() >= 12) set32(out.data() + headAt + 8, 0xB1B0AFBAu - checksum(out));
  return out;
}

bool StripHinting(Sfnt& font) {
  SfntTable* head = font.Find(SfntTag("head"));
  SfntTable* loca = font.Find(SfntTag("loca"));
  SfntTable* glyf = font.Find(SfntTag("glyf"));
  SfntTable* maxp = font.Find(SfntTag("maxp"));
  if (glyf && loca && head && head->data.size() >= 54) {
    bool longOffsets = be16(head->data.data() + 50) != 0;
    std::size_t entry = longOffsets ? 4 : 2, glyphs = loca->data.size() / entry;
    if (glyphs < 2) return false;
    std::vector<BYTE> newGlyf, newLoca;
    auto offsetAt = [&](std::size_t i) {
      return longOffsets ? std::size_t(be32(loca->data.data() + 4 * i)) : std::size_t(be16(loca->data.data() + 2 * i)) * 2;
    };
    auto putOffset = [&](std::size_t o) {
      if (longOffsets) put32(newLoca, std::uint32_t(o));
      else put16(newLoca, std::uint16_t(o / 2));
    };
    for (std::size_t i = 0; i + 1 < glyphs; ++i) {
      std::size_t from = offsetAt(i), to = offsetAt(i + 1);
      if (to < from || to > glyf->data.size()) return false;
      putOffset(newGlyf.size());
      if (!stripGlyph({glyf->data.data() + from, to - from}, newGlyf)) return false;
      if (!longOffsets && newGlyf.size() % 2) newGlyf.push_back(0);
    }
    putOffset(newGlyf.size());
    if (!longOffsets && newGlyf.size() / 2 > 0xFFFF) return false;
    glyf->data = std::move(newGlyf);
    loca->data = std::move(newLoca);
  }
  if (maxp && maxp->data.size() >= 32) maxp->data[26] = maxp->data[27] = 0;  // maxSizeOfInstructions
  static const std::uint32_t kHinting[] = {SfntTag("cvt "), SfntTag("fpgm"), SfntTag("prep"), SfntTag("hdmx"),
                                           SfntTag("LTSH"), SfntTag("VDMX"), SfntTag("gasp"), SfntTag("kern")};
  std::erase_if(font.tables, [](const SfntTable& t) { return std::find(std::begin(kHinting), std::end(kHinting), t.tag) != std::end(kHinting); });
  return true;
}

void RenameFont(Sfnt& font, std::string_view name) {
  // Records: (platform, encoding, language, name id) in the table's order.
  struct Record {
    std::uint16_t platform, encoding, language, id;
    std::vector<BYTE> text;
  };
  std::vector<Record> records;
  for (std::uint16_t id : {1, 2, 3, 4, 6}) {
    std::string_view text = id == 2 ? "Regular" : name;
    std::vector<BYTE> mac(text.begin(), text.end()), win;
    for (char c : text) put16(win, std::uint16_t(BYTE(c)));
    records.push_back({1, 0, 0, id, mac});
    records.push_back({3, 1, 0x409, id, win});
  }
  std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
    return std::tie(a.platform, a.encoding, a.language, a.id) < std::tie(b.platform, b.encoding, b.language, b.id);
  });
  std::vector<BYTE> table;
  put16(table, 0);
  put16(table, std::uint16_t(records.size()));
  put16(table, std::uint16_t(6 + 12 * records.size()));
  std::vector<BYTE> strings;
  for (const Record& r : records) {
    put16(table, r.platform);
    put16(table, r.encoding);
    put16(table, r.language);
    put16(table, r.id);
    put16(table, std::uint16_t(r.text.size()));
    put16(table, std::uint16_t(strings.size()));
    strings.insert(strings.end(), r.text.begin(), r.text.end());
  }
  table.insert(table.end(), strings.begin(), strings.end());
  if (SfntTable* t = font.Find(SfntTag("name"))) t->data = std::move(table);
  else font.tables.push_back({SfntTag("name"), std::move(table)});
}

}  // namespace twpdf
