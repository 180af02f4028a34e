// A structured-field walker of the tests' own for MO:DCA documents: each
// field's introducer and length, begin/end nesting, the pages with their
// descriptors, the IOCA segment of each page's image taken apart, and Group
// 4 image data decoded by libtiff.
#pragma once
#include "tiff_test_support.h"

namespace modcawalk {

using codectest::Image;
using tifftest::ReadTiff;

// ---- the file, field by field --------------------------------------------------

struct Field {
  std::uint64_t offset;
  std::uint32_t id;
  std::vector<BYTE> data;
  int depth;  // begins and ends count at their outer depth
};

struct Walk {
  std::string error;  // empty when the file is well formed
  std::vector<Field> fields;
};

inline Walk WalkFields(const std::string& bytes) {
  Walk w;
  std::vector<BYTE> open;
  std::size_t pos = 0;
  auto b = [&](std::size_t i) { return static_cast<BYTE>(bytes[i]); };
  while (pos < bytes.size()) {
    if (pos + 9 > bytes.size()) return w.error = "truncated introducer", w;
    if (b(pos) != 0x5A) return w.error = "no 0x5A at " + std::to_string(pos), w;
    std::size_t length = std::size_t(b(pos + 1)) << 8 | b(pos + 2);
    std::uint32_t id = std::uint32_t(b(pos + 3)) << 16 | std::uint32_t(b(pos + 4)) << 8 | b(pos + 5);
    if (length < 8 || pos + 1 + length > bytes.size()) return w.error = "bad length at " + std::to_string(pos), w;
    if (b(pos + 6) != 0 || b(pos + 7) != 0 || b(pos + 8) != 0) return w.error = "flags or reserved set", w;
    BYTE type = static_cast<BYTE>(id >> 8), category = static_cast<BYTE>(id);
    if (type == 0xA9) {
      if (open.empty() || open.back() != category) return w.error = "unmatched end at " + std::to_string(pos), w;
      open.pop_back();
    }
    w.fields.push_back({pos, id, std::vector<BYTE>(bytes.begin() + static_cast<std::ptrdiff_t>(pos + 9),
                                                   bytes.begin() + static_cast<std::ptrdiff_t>(pos + 1 + length)),
                        static_cast<int>(open.size())});
    if (type == 0xA8) open.push_back(category);
    pos += 1 + length;
  }
  if (!open.empty()) w.error = "unclosed structures";
  return w;
}

inline std::string Ebcdic(const std::vector<BYTE>& data) {
  std::string s;
  for (std::size_t i = 0; i < 8 && i < data.size(); ++i) {
    BYTE c = data[i];
    if (c >= 0xF0 && c <= 0xF9) s += static_cast<char>('0' + c - 0xF0);
    else if (c >= 0xC1 && c <= 0xC9) s += static_cast<char>('A' + c - 0xC1);
    else if (c >= 0xD1 && c <= 0xD9) s += static_cast<char>('J' + c - 0xD1);
    else if (c >= 0xE2 && c <= 0xE9) s += static_cast<char>('S' + c - 0xE2);
    else s += c == 0x40 ? ' ' : '?';
  }
  return s;
}

inline unsigned Be(const std::vector<BYTE>& d, std::size_t at, int bytes) {
  unsigned v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | d[at + i];
  return v;
}

// One page: its name, descriptors and its image object's segment.
struct Page {
  std::string name, endName, imageName;
  std::vector<BYTE> pgd, obd, obp, mio, idd, segment;
  int imageObjects = 0;
};

// The pages of a well-formed document: BDT first, EDT last, pages inside.
inline std::vector<Page> Pages(const Walk& w) {
  std::vector<Page> pages;
  EXPECT_EQ(w.error, "");
  if (!w.error.empty() || w.fields.empty()) return pages;
  EXPECT_EQ(w.fields.front().id, 0xD3A8A8u);
  EXPECT_EQ(w.fields.back().id, 0xD3A9A8u);
  EXPECT_EQ(Ebcdic(w.fields.front().data), Ebcdic(w.fields.back().data));
  Page* page = nullptr;
  for (const Field& f : w.fields) {
    switch (f.id) {
      case 0xD3A8AF:
        EXPECT_EQ(f.depth, 1);
        pages.push_back({});
        page = &pages.back();
        page->name = Ebcdic(f.data);
        break;
      case 0xD3A9AF: page->endName = Ebcdic(f.data); page = nullptr; break;
      case 0xD3A8FB: ++page->imageObjects; page->imageName = Ebcdic(f.data); break;
      case 0xD3A6AF: page->pgd = f.data; break;
      case 0xD3A66B: page->obd = f.data; break;
      case 0xD3AC6B: page->obp = f.data; break;
      case 0xD3ABFB: page->mio = f.data; break;
      case 0xD3A6FB: page->idd = f.data; break;
      case 0xD3EEFB:
        EXPECT_LE(f.data.size(), 32759u);
        page->segment.insert(page->segment.end(), f.data.begin(), f.data.end());
        break;
      default:
        if (!page) {
          EXPECT_TRUE(f.id == 0xD3A8A8 || f.id == 0xD3A9A8) << std::hex << f.id;
        }
    }
  }
  return pages;
}

// ---- the IOCA segment ----------------------------------------------------------

struct Ioca {
  std::vector<unsigned> order;  // parameter ids (0xFE92 for image data)
  unsigned unitBase = 9, xRes = 0, yRes = 0, width = 0, height = 0, compression = 0, recording = 0, ideSize = 0;
  int format = -1;
  std::vector<BYTE> data;
  bool ok = false;
};

inline Ioca ParseIoca(const std::vector<BYTE>& s) {
  Ioca r;
  std::size_t pos = 0;
  while (pos + 2 <= s.size()) {
    unsigned id = s[pos];
    std::size_t length, at;
    if (id == 0xFE) {
      if (pos + 4 > s.size()) return r;
      id = 0xFE00 | s[pos + 1];
      length = Be(s, pos + 2, 2);
      at = pos + 4;
    } else {
      length = s[pos + 1];
      at = pos + 2;
    }
    if (at + length > s.size()) return r;
    std::vector<BYTE> p(s.begin() + static_cast<std::ptrdiff_t>(at), s.begin() + static_cast<std::ptrdiff_t>(at + length));
    if (r.order.empty() || r.order.back() != id || id != 0xFE92) r.order.push_back(id);
    if (id == 0x94 && length == 9) {
      r.unitBase = p[0], r.xRes = Be(p, 1, 2), r.yRes = Be(p, 3, 2), r.width = Be(p, 5, 2), r.height = Be(p, 7, 2);
    } else if (id == 0x95 && length == 2) {
      r.compression = p[0], r.recording = p[1];
    } else if (id == 0x96 && length == 1) {
      r.ideSize = p[0];
    } else if (id == 0x9B && length == 8) {
      r.format = p[1];
      EXPECT_EQ(p[0], 0);  // additive
      EXPECT_EQ((std::vector<BYTE>(p.begin() + 5, p.end())), (std::vector<BYTE>{8, 8, 8}));
    } else if (id == 0xFE92) {
      r.data.insert(r.data.end(), p.begin(), p.end());
    }
    pos = at + length;
  }
  r.ok = pos == s.size();
  return r;
}

// ---- decoding the image data ---------------------------------------------------

// Group 4 data wrapped in a one-strip TIFF and decoded by libtiff: set bits dark.
inline Image DecodeG4(const std::filesystem::path& dir, const Ioca& io) {
  auto path = dir / "g4.tif";
  TIFF* t = TIFFOpen(path.c_str(), "w");
  EXPECT_NE(t, nullptr);
  if (!t) return {};
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, io.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, io.height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, io.height);
  TIFFWriteRawStrip(t, 0, const_cast<BYTE*>(io.data.data()), static_cast<tmsize_t>(io.data.size()));
  TIFFClose(t);
  auto read = ReadTiff(path);
  return read.empty() ? Image{} : read[0].pixels;
}

}  // namespace modcawalk
