#include "output/pcx/pcx_codec.h"

#include <algorithm>
#include <cstring>

namespace tw::pcx {
namespace {

constexpr std::size_t kBufferBytes = 32768;
constexpr BYTE kPaletteMark = 12;

// The output of one page: allocated at its first byte, freed at its end, so
// each thread encoding a page has its own.
class Sink {
 public:
  explicit Sink(HANDLE file) : file_(file) {}
  bool Put(std::span<const BYTE> bytes) {
    if (failed_) return false;
    if (buffer_.capacity() == 0) buffer_.reserve(kBufferBytes);
    while (!bytes.empty()) {
      std::size_t take = std::min(bytes.size(), kBufferBytes - buffer_.size());
      buffer_.insert(buffer_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
      bytes = bytes.subspan(take);
      if (buffer_.size() == kBufferBytes && !Flush()) return false;
    }
    return true;
  }
  bool Flush() {
    if (!failed_ && !tw::output::WriteAll(file_, buffer_.data(), buffer_.size())) failed_ = true;
    buffer_.clear();
    return !failed_;
  }

 private:
  HANDLE file_;
  std::vector<BYTE> buffer_;
  bool failed_ = false;
};

struct Geometry {
  BYTE bitsPerPixel, planes;
  WORD bytesPerLine, paletteInfo;
};
Geometry GeometryOf(WORD bits, LONG width) {
  const auto w = static_cast<std::size_t>(width);
  switch (bits) {
    case 4: return {1, 4, static_cast<WORD>((w + 7) / 8), 0};
    case 24: return {8, 3, static_cast<WORD>((8 * w + 15) / 16 * 2), 1};
    default: return {static_cast<BYTE>(bits), 1, static_cast<WORD>((bits * w + 7) / 8), 0};
  }
}

// Row y of the page as PCX planes, one after the other.
void MakeLine(const tw::output::PageDib& dib, const Geometry& g, LONG y, std::vector<BYTE>& line) {
  const BYTE* row = dib.Row(y);
  const std::size_t per = g.bytesPerLine, w = static_cast<std::size_t>(dib.Width());
  line.assign(per * g.planes, 0);
  switch (dib.Bits()) {
    case 4:
      for (std::size_t x = 0; x < w; ++x) {
        const BYTE index = (row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
        for (std::size_t k = 0; k < 4; ++k)
          if (index & (1u << k)) line[k * per + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
      }
      break;
    case 24:
      for (std::size_t x = 0; x < w; ++x) {
        line[x] = row[3 * x + 2];
        line[per + x] = row[3 * x + 1];
        line[2 * per + x] = row[3 * x];
      }
      break;
    default: std::memcpy(line.data(), row, per); break;
  }
}

}  // namespace

bool ReadScreen(Screen& screen) {
  HDC dc = GetDC(nullptr);
  if (!dc) return false;
  screen = {GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY), GetDeviceCaps(dc, HORZRES),
            GetDeviceCaps(dc, VERTRES)};
  ReleaseDC(nullptr, dc);
  return true;
}

PcxHeader MakeHeader(const tw::output::PageDib& dib, const Screen& screen) {
  const Geometry g = GeometryOf(dib.Bits(), dib.Width());
  PcxHeader h{};
  h.manufacturer = 10;
  h.version = 5;
  h.encoding = 1;
  h.bitsPerPixel = g.bitsPerPixel;
  h.xMax = static_cast<WORD>(dib.Width() - 1);
  h.yMax = static_cast<WORD>(dib.Height() - 1);
  const BITMAPINFOHEADER& bh = dib.Header();
  auto dpi = [](LONG ppm, int screenDpi) {
    return static_cast<WORD>(ppm > 0 ? static_cast<int>(ppm / 39.37) : screenDpi);
  };
  h.hDpi = dpi(bh.biXPelsPerMeter, screen.logPixelsX);
  h.vDpi = dpi(bh.biYPelsPerMeter, screen.logPixelsY);
  const unsigned mapBits = unsigned{g.planes} * g.bitsPerPixel;
  if (mapBits <= 7) {
    for (DWORD i = 0; i < (DWORD{1} << mapBits) && i < 16; ++i) {
      const RGBQUAD q = dib.Color(i);
      h.colorMap[3 * i] = q.rgbRed;
      h.colorMap[3 * i + 1] = q.rgbGreen;
      h.colorMap[3 * i + 2] = q.rgbBlue;
    }
  }
  h.planes = g.planes;
  h.bytesPerLine = g.bytesPerLine;
  h.paletteInfo = g.paletteInfo;
  h.hScreenSize = static_cast<WORD>(screen.horzRes);
  h.vScreenSize = static_cast<WORD>(screen.vertRes);
  return h;
}

void EncodeLine(std::span<const BYTE> line, std::vector<BYTE>& out) {
  std::size_t i = 0;
  while (i < line.size()) {
    const BYTE value = line[i];
    std::size_t run = 1;
    while (run < 63 && i + run < line.size() && line[i + run] == value) ++run;
    if (run == 1 && value < 0xC0) {
      out.push_back(value);
    } else {
      out.push_back(static_cast<BYTE>(0xC0 + run));
      out.push_back(value);
    }
    i += run;
  }
}

bool EncodePage(const tw::output::PageDib& dib, const Screen& screen, HANDLE file) {
  // The window and the line length are 16-bit fields.
  if (dib.Width() > 0xFFFE || dib.Height() > 0xFFFF) return false;
  const Geometry g = GeometryOf(dib.Bits(), dib.Width());
  const PcxHeader header = MakeHeader(dib, screen);
  Sink sink(file);
  if (!sink.Put({reinterpret_cast<const BYTE*>(&header), sizeof header})) return false;
  std::vector<BYTE> line, coded;
  for (LONG y = 0; y < dib.Height(); ++y) {
    MakeLine(dib, g, y, line);
    coded.clear();
    EncodeLine(line, coded);
    if (!sink.Put(coded)) return false;
  }
  if (dib.Bits() == 8) {
    BYTE palette[1 + 768] = {kPaletteMark};
    for (DWORD i = 0; i < 256; ++i) {
      const RGBQUAD q = dib.Color(i);
      palette[1 + 3 * i] = q.rgbRed;
      palette[2 + 3 * i] = q.rgbGreen;
      palette[3 + 3 * i] = q.rgbBlue;
    }
    if (!sink.Put(palette)) return false;
  }
  return sink.Flush();
}

}  // namespace tw::pcx
