// Metafile -> RGB image through the public GDI functions.
#include "emf_render.h"

#include <windows.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace twtools {
namespace {

struct EmfCloser {
  void operator()(HENHMETAFILE h) const {
    if (h) DeleteEnhMetaFile(h);
  }
};
struct DcCloser {
  void operator()(HDC h) const {
    if (h) DeleteDC(h);
  }
};
struct ObjectCloser {
  void operator()(void* h) const {
    if (h) DeleteObject(static_cast<HGDIOBJ>(h));
  }
};
using EmfPtr = std::unique_ptr<std::remove_pointer_t<HENHMETAFILE>, EmfCloser>;
using DcPtr = std::unique_ptr<std::remove_pointer_t<HDC>, DcCloser>;
using ObjectPtr = std::unique_ptr<void, ObjectCloser>;

// A DIB header with room for a two-entry colour table.
struct MonoInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colors[2];
};

}  // namespace

RenderResult RenderEmfBytes(std::span<const unsigned char> bytes, const RenderOptions& options, RgbImage& image) {
  RenderResult result;
  EmfPtr emf(SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data()));
  if (!emf) {
    result.error = "not a metafile (error " + std::to_string(GetLastError()) + ")";
    return result;
  }
  ENHMETAHEADER header{};
  if (GetEnhMetaFileHeader(emf.get(), sizeof(header), &header) == 0) {
    result.error = "cannot read the header";
    return result;
  }
  long long w = options.width, h = options.height;
  if (w <= 0 || h <= 0) {
    w = std::llround((double(header.rclFrame.right) - header.rclFrame.left) * options.dpi / 2540.0);
    h = std::llround((double(header.rclFrame.bottom) - header.rclFrame.top) * options.dpi / 2540.0);
  }
  if (w < 1 || h < 1 || w > kMaxRenderSide || h > kMaxRenderSide || w * h > kMaxRenderPixels) {
    result.error = "page of " + std::to_string(w) + " x " + std::to_string(h) + " pixels cannot be rendered";
    return result;
  }
  if (options.bits != 1 && options.bits != 24 && options.bits != 32) {
    result.error = "bits per pixel must be 1, 24 or 32";
    return result;
  }

  DcPtr dc(CreateCompatibleDC(nullptr));
  if (!dc) {
    result.error = "cannot create a memory DC";
    return result;
  }
  MonoInfo info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = static_cast<LONG>(w);
  info.header.biHeight = -static_cast<LONG>(h);  // top-down
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(options.bits);
  info.header.biCompression = BI_RGB;
  if (options.bits == 1) {
    info.header.biClrUsed = 2;
    info.colors[1] = {255, 255, 255, 0};
  }
  void* bits = nullptr;
  ObjectPtr bitmap(CreateDIBSection(dc.get(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) {
    result.error = "cannot create the render bitmap";
    return result;
  }
  HGDIOBJ old = SelectObject(dc.get(), bitmap.get());
  const size_t stride = ((size_t(w) * size_t(options.bits) + 31) / 32) * 4;
  std::memset(bits, 0xFF, stride * size_t(h));  // white paper (index 1 on 1-bit)

  RECT rect{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
  result.playedOk = PlayEnhMetaFile(dc.get(), emf.get(), &rect) != FALSE;
  if (!result.playedOk) result.error = "playback stopped with an error (" + std::to_string(GetLastError()) + ")";
  GdiFlush();

  image.Reset(static_cast<int>(w), static_cast<int>(h));
  const auto* src = static_cast<const unsigned char*>(bits);
  for (long long y = 0; y < h; ++y) {
    const unsigned char* row = src + size_t(y) * stride;
    unsigned char* out = image.Row(static_cast<int>(y));
    for (long long x = 0; x < w; ++x) {
      unsigned char r, g, b;
      if (options.bits == 1) {
        bool white = (row[x / 8] >> (7 - x % 8)) & 1;
        r = g = b = white ? 255 : 0;
      } else {
        const unsigned char* p = row + size_t(x) * size_t(options.bits / 8);
        b = p[0];
        g = p[1];
        r = p[2];
      }
      out[x * 3] = r;
      out[x * 3 + 1] = g;
      out[x * 3 + 2] = b;
    }
  }
  SelectObject(dc.get(), old);
  result.rendered = true;
  return result;
}

RenderResult RenderEmfFile(const std::filesystem::path& path, const RenderOptions& options, RgbImage& image) {
  std::vector<unsigned char> bytes;
  if (path.extension() == ".gz") {
    // Test corpora keep their metafiles compressed.
    std::unique_ptr<gzFile_s, decltype(&gzclose)> in(gzopen(path.c_str(), "rb"), &gzclose);
    unsigned char buffer[65536];
    int got = 0;
    while (in && (got = gzread(in.get(), buffer, sizeof(buffer))) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    if (!in || got < 0) {
      RenderResult r;
      r.error = "cannot read " + path.string();
      return r;
    }
    return RenderEmfBytes(bytes, options, image);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    RenderResult r;
    r.error = "cannot open " + path.string();
    return r;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return RenderEmfBytes(bytes, options, image);
}

}  // namespace twtools
