// Helpers of the codec library tests: loading a codec module and taking its
// exports, page DIBs made from pixel rows, Windows paths on the test root,
// and running the independent tools that check the output.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tw/pathmap.h"
#include "tw/utf.h"
#include "tw_test.h"
#include "windows.h"

namespace codectest {

// A loaded codec module, freed with the object.
class Module {
 public:
  explicit Module(const char16_t* name) : h_(LoadLibraryW(name)) {}
  ~Module() {
    if (h_) FreeLibrary(h_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  HMODULE Get() const { return h_; }
  // The export, cast to its type; a test failure when it is missing.
  template <class F>
  F Proc(const char* name) const {
    FARPROC p = h_ ? GetProcAddress(h_, name) : nullptr;
    EXPECT_NE(p, nullptr) << "missing export " << name;
    return reinterpret_cast<F>(p);
  }

 private:
  HMODULE h_;
};

// A built module's host path (the test executable's folder).
inline std::filesystem::path BinDirOf(const char* name) { return twtest::BinDir() / name; }

inline std::filesystem::path Host(std::u16string_view windowsPath) {
  std::filesystem::path host;
  EXPECT_EQ(tw::path::ToHost(windowsPath, host), 0u);
  return host;
}

inline void MakeFolder(std::u16string_view windowsPath) { std::filesystem::create_directories(Host(windowsPath)); }

inline std::string ReadBytes(const std::filesystem::path& p) {
  std::string out;
  if (FILE* f = std::fopen(p.c_str(), "rb")) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

inline void WriteBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::filesystem::create_directories(p.parent_path());
  FILE* f = std::fopen(p.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

struct ToolResult {
  int status = -1;
  std::string output;  // stdout and stderr
};

// Runs an independent checking tool; a missing tool is a test failure
// (scripts/install-deps.sh installs them).
inline ToolResult RunTool(const std::string& command) {
  ToolResult r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (r.status == 127) ADD_FAILURE() << "tool not installed: " << command;
  return r;
}

inline std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// An image as top-first rows of packed samples (1 bit MSB first, 8-bit
// indices or grey, or RGB triples), with the DIB colour table that goes
// with it.
struct Image {
  std::uint32_t width = 0, height = 0;
  int bits = 1;
  std::vector<RGBQUAD> colors;
  std::vector<std::vector<BYTE>> rows;
  std::size_t RowBytes() const { return (std::size_t(width) * bits + 7) / 8; }
};

// Text-like 1-bit content: runs of black in lines, deterministic from the seed.
inline Image BilevelPage(std::uint32_t width, std::uint32_t height, unsigned seed) {
  Image img{width, height, 1, {{0, 0, 0, 0}, {255, 255, 255, 0}}, {}};
  std::mt19937 rng(seed);
  for (std::uint32_t y = 0; y < height; ++y) {
    std::vector<BYTE> row(img.RowBytes(), 0xFF);  // white (entry 1)
    if ((y / 12) % 3 != 2) {
      for (std::uint32_t x = 8; x + 8 < width; x += 1 + rng() % 9)
        if (rng() % 3 == 0) row[x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));  // black dot
    }
    img.rows.push_back(row);
  }
  return img;
}

inline Image RandomImage(std::uint32_t width, std::uint32_t height, int bits, unsigned seed, std::size_t colors = 0) {
  Image img{width, height, bits, {}, {}};
  std::mt19937 rng(seed);
  if (bits <= 8) {
    std::size_t n = colors ? colors : std::size_t(1) << bits;
    for (std::size_t i = 0; i < n; ++i)
      img.colors.push_back({BYTE(rng()), BYTE(rng()), BYTE(rng()), 0});
  }
  std::size_t max = bits <= 8 ? img.colors.size() : 256;
  for (std::uint32_t y = 0; y < height; ++y) {
    std::vector<BYTE> row(img.RowBytes(), 0);
    if (bits < 8) {
      for (std::uint32_t x = 0; x < width; ++x) {
        unsigned v = static_cast<unsigned>(rng() % max);
        std::size_t bit = std::size_t(x) * bits;
        row[bit / 8] |= static_cast<BYTE>(v << (8 - bits - bit % 8));
      }
    } else {
      // Smooth content with a little noise, so that JPEG has a fair image.
      for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = bits == 8 ? static_cast<BYTE>(rng() % max)
                           : static_cast<BYTE>((i / 3 + y + (i % 3) * 60) % 256 / 2 + rng() % 8);
    }
    img.rows.push_back(row);
  }
  return img;
}

// The image as a page DIB (movable block, bottom-up, BGR for 24 bits).
// `top` makes a top-down DIB (negative height).
inline HGLOBAL MakeDib(const Image& img, LONG ppmX = 7874, LONG ppmY = 7874, bool topDown = false) {
  std::size_t stride = (std::size_t(img.width) * img.bits + 31) / 32 * 4;
  std::size_t size = 40 + 4 * img.colors.size() + stride * img.height;
  HGLOBAL h = GlobalAlloc(GHND, size);
  auto* p = static_cast<BYTE*>(GlobalLock(h));
  BITMAPINFOHEADER bh{};
  bh.biSize = 40;
  bh.biWidth = static_cast<LONG>(img.width);
  bh.biHeight = topDown ? -static_cast<LONG>(img.height) : static_cast<LONG>(img.height);
  bh.biPlanes = 1;
  bh.biBitCount = static_cast<WORD>(img.bits);
  bh.biSizeImage = static_cast<DWORD>(stride * img.height);
  bh.biXPelsPerMeter = ppmX;
  bh.biYPelsPerMeter = ppmY;
  bh.biClrUsed = static_cast<DWORD>(img.colors.size());
  std::memcpy(p, &bh, 40);
  if (!img.colors.empty()) std::memcpy(p + 40, img.colors.data(), 4 * img.colors.size());
  BYTE* pixels = p + 40 + 4 * img.colors.size();
  for (std::uint32_t y = 0; y < img.height; ++y) {
    BYTE* dst = pixels + stride * (topDown ? y : img.height - 1 - y);
    const auto& src = img.rows[y];
    if (img.bits == 24) {
      for (std::uint32_t x = 0; x < img.width; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
      }
    } else {
      std::memcpy(dst, src.data(), src.size());
    }
  }
  GlobalUnlock(h);
  return h;
}

// A page DIB read back: header fields, table and top-first rows (RGB order
// for 24 bits).
struct DibContents {
  BITMAPINFOHEADER header{};
  Image image;
};

inline DibContents ReadDib(HGLOBAL h) {
  DibContents out;
  auto* p = static_cast<const BYTE*>(GlobalLock(h));
  if (!p) return out;
  std::memcpy(&out.header, p, 40);
  Image& img = out.image;
  img.width = static_cast<std::uint32_t>(out.header.biWidth);
  img.height = static_cast<std::uint32_t>(std::abs(out.header.biHeight));
  img.bits = out.header.biBitCount;
  std::size_t n = out.header.biClrUsed ? out.header.biClrUsed : img.bits <= 8 ? 1u << img.bits : 0;
  img.colors.assign(reinterpret_cast<const RGBQUAD*>(p + 40), reinterpret_cast<const RGBQUAD*>(p + 40) + n);
  std::size_t stride = (std::size_t(img.width) * img.bits + 31) / 32 * 4;
  const BYTE* pixels = p + 40 + 4 * n;
  for (std::uint32_t y = 0; y < img.height; ++y) {
    const BYTE* src = pixels + stride * (out.header.biHeight < 0 ? y : img.height - 1 - y);
    std::vector<BYTE> row(src, src + img.RowBytes());
    if (img.bits == 24)
      for (std::uint32_t x = 0; x < img.width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
    img.rows.push_back(row);
  }
  GlobalUnlock(h);
  return out;
}

// An image as RGB triples per pixel, whatever its depth (for comparisons
// across formats).
inline std::vector<BYTE> ToRgb(const Image& img) {
  std::vector<BYTE> out;
  out.reserve(std::size_t(img.width) * img.height * 3);
  for (const auto& row : img.rows) {
    for (std::uint32_t x = 0; x < img.width; ++x) {
      if (img.bits == 24) {
        out.insert(out.end(), row.begin() + 3 * x, row.begin() + 3 * x + 3);
        continue;
      }
      std::size_t bit = std::size_t(x) * img.bits;
      unsigned v = (row[bit / 8] >> (8 - img.bits - bit % 8)) & ((1u << img.bits) - 1);
      RGBQUAD c = v < img.colors.size() ? img.colors[v] : RGBQUAD{0, 0, 0, 0};
      out.insert(out.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
    }
  }
  return out;
}

inline double Psnr(const std::vector<BYTE>& a, const std::vector<BYTE>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

}  // namespace codectest
