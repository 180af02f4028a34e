// The GIF file: "GIF87a", the logical screen (the page size, a global colour
// table of 2^bits entries), one image descriptor at 0, 0 with the page size,
// the LZW data in sub-blocks and the trailer. Rows are coded top row first.
#include "output/gif/gif_writer.h"

#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "output/common/encoded_file.h"
#include "output/common/per_thread_block.h"
#include "output/gif/gif_lzw.h"
#include "tw/packed_dib.h"

namespace {

struct GIF_THREAD_STATE {
  DWORD dwLastError;
};
tw::output::PerThreadBlock<GIF_THREAD_STATE> g_threadState;

int SetError(int code) {
  if (GIF_THREAD_STATE* state = g_threadState.Get()) state->dwLastError = static_cast<DWORD>(code);
  return code;
}

// The page as GIF takes it: a palette depth and a size that fits its 16-bit fields.
std::optional<tw::dib::Layout> GifLayout(std::span<const BYTE> block) {
  std::optional<tw::dib::Layout> layout = tw::dib::ReadLayout(block);
  if (!layout || layout->Core() || layout->compression != BI_RGB) return std::nullopt;
  if (layout->bits != 1 && layout->bits != 2 && layout->bits != 4 && layout->bits != 8) return std::nullopt;
  if (layout->width > 0xFFFF || layout->height > 0xFFFF) return std::nullopt;
  return layout;
}

// Header, logical screen descriptor, global colour table and image descriptor.
bool WriteHead(tw::output::EncodedFile& file, const tw::dib::Layout& l, const BYTE* block) {
  const int bits = l.bits;
  const auto width = static_cast<WORD>(l.width), height = static_cast<WORD>(l.height);
  bool ok = file.Write("GIF87a", 6) && file.PutWord(width) && file.PutWord(height) &&
            file.Put(static_cast<BYTE>(0x80 | (bits - 1) << 4 | (bits - 1))) && file.Put(0) && file.Put(0);
  // 2^bits entries; those past the DIB's table are black.
  for (DWORD i = 0; ok && i < (DWORD{1} << bits); ++i) {
    RGBQUAD c{};
    if (i < l.colors) std::memcpy(&c, block + l.tableOffset + 4 * i, sizeof c);
    BYTE rgb[3] = {c.rgbRed, c.rgbGreen, c.rgbBlue};
    ok = file.Write(rgb, 3);
  }
  return ok && file.Put(0x2C) && file.PutWord(0) && file.PutWord(0) && file.PutWord(width) &&
         file.PutWord(height) && file.Put(0);
}

// Codes the rows and writes the image data; a GIF error code.
int WriteImageData(tw::output::EncodedFile& file, const tw::dib::Layout& l, const BYTE* block) {
  const int minCodeSize = l.bits < 2 ? 2 : l.bits;
  std::vector<BYTE> coded;
  std::vector<BYTE> indices(static_cast<std::size_t>(l.width));
  tw::gif::LzwEncoder lzw(minCodeSize, coded);
  if (!file.Put(static_cast<BYTE>(minCodeSize))) return TW_GIF_ERROR_FILE;
  const unsigned bits = l.bits, mask = (1u << bits) - 1;
  for (LONG y = 0; y < l.height; ++y) {
    // The row's (bits x width + 7) / 8 bytes, one index per pixel.
    const BYTE* row = block + l.RowFromTop(y);
    for (std::size_t x = 0; x < indices.size(); ++x) {
      std::size_t bit = x * bits;
      indices[x] = static_cast<BYTE>((row[bit / 8] >> (8 - bits - bit % 8)) & mask);
    }
    if (!lzw.Add(indices)) return TW_GIF_ERROR_LZW;
    if (!file.Write(coded.data(), coded.size())) return TW_GIF_ERROR_FILE;
    coded.clear();
  }
  lzw.Finish();
  if (!file.Write(coded.data(), coded.size()) || !file.Put(0) || !file.Put(0x3B)) return TW_GIF_ERROR_FILE;
  return TW_GIF_ERROR_NONE;
}

int SaveGif(LPCWSTR fileName, HGLOBAL dib) {
  if (!fileName || !dib) return TW_GIF_ERROR_DIB;
  tw::dib::BlockLock lock(dib);
  std::optional<tw::dib::Layout> layout = lock.ok() ? GifLayout(lock.bytes()) : std::nullopt;
  if (!layout) return TW_GIF_ERROR_DIB;
  tw::output::EncodedFile file;
  // No sharing, and never over an existing file.
  if (!file.Create(fileName, CREATE_NEW, 0)) return TW_GIF_ERROR_FILE;
  if (!WriteHead(file, *layout, lock.data())) return TW_GIF_ERROR_FILE;
  if (int code = WriteImageData(file, *layout, lock.data()); code != TW_GIF_ERROR_NONE) return code;
  return file.Commit() ? TW_GIF_ERROR_NONE : TW_GIF_ERROR_FILE;
}

}  // namespace

BOOL TwGIFMain(HINSTANCE, DWORD reason) { return g_threadState.OnReason(reason); }

BOOL SaveDIBInGIFFormat(LPCWSTR fileName, HGLOBAL dib, DWORD, int* errorCode) {
  int code;
  try {
    code = SaveGif(fileName, dib);
  } catch (const std::bad_alloc&) {
    code = TW_GIF_ERROR_MEMORY;
  }
  SetError(code);
  if (errorCode) *errorCode = code;
  return code == TW_GIF_ERROR_NONE;
}

int GetGIFLastError() {
  GIF_THREAD_STATE* state = g_threadState.Get();
  return state ? static_cast<int>(state->dwLastError) : TW_GIF_ERROR_MEMORY;
}
