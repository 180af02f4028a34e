// libjpeg reports fatal errors through longjmp: the functions that arm
// setjmp hold no C++ objects of their own, so nothing is skipped; buffers and
// the DIB are made before and released after them.
#include "jpeg_codec.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "lab.h"
#include "page_dib.h"
#include "tw_jpeg_api.h"
#include "win_io.h"

namespace twjpeg {
namespace {

using tw::codec::DibView;

struct ErrorManager {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  bool sawEof;
};

void OnError(j_common_ptr c) { std::longjmp(reinterpret_cast<ErrorManager*>(c->err)->jump, 1); }

void OnMessage(j_common_ptr c, int level) {
  // Warnings are kept quiet; a stream that ran out is a truncated file.
  if (level < 0 && c->err->msg_code == JWRN_JPEG_EOF) reinterpret_cast<ErrorManager*>(c->err)->sawEof = true;
}

void InitErrors(ErrorManager& e) {
  jpeg_std_error(&e.mgr);
  e.mgr.error_exit = &OnError;
  e.mgr.emit_message = &OnMessage;
  e.mgr.output_message = [](j_common_ptr) {};
  e.sawEof = false;
}

// "G3FAX" APP1: the marker colour fax JPEG uses to name its CIELAB encoding.
constexpr BYTE kFaxId[6] = {'G', '3', 'F', 'A', 'X', 0};
constexpr WORD kFaxVersion = 1994;

int Dpi(LONG pelsPerMeter) {
  return pelsPerMeter > 0 ? static_cast<int>(std::clamp(std::lround(pelsPerMeter * 0.0254), 1L, 65535L)) : 0;
}

// One image row as grey, RGB or T.42 Lab samples.
void FillRow(const DibView& dib, std::uint32_t y, bool grey, bool lab, JSAMPLE* out) {
  const BYTE* src = dib.Row(y);
  for (std::uint32_t x = 0; x < dib.width; ++x) {
    BYTE r, g, b;
    if (dib.bits >= 24) {
      const BYTE* p = src + std::size_t(x) * (dib.bits / 8);
      b = p[0], g = p[1], r = p[2];
    } else {
      std::size_t bit = std::size_t(x) * dib.bits;
      unsigned index = (src[bit / 8] >> (8 - dib.bits - bit % 8)) & ((1u << dib.bits) - 1);
      RGBQUAD c = dib.Color(index);
      b = c.rgbBlue, g = c.rgbGreen, r = c.rgbRed;
    }
    if (grey) {
      out[x] = r;
    } else if (lab) {
      RgbToLab(r, g, b, out + 3 * std::size_t(x));
    } else {
      out[3 * x] = r, out[3 * x + 1] = g, out[3 * x + 2] = b;
    }
  }
}

bool Compress(const DibView& dib, const SaveOptions& o, bool grey, JSAMPLE* row, unsigned char** data,
              unsigned long* size) {
  jpeg_compress_struct c;
  ErrorManager err;
  InitErrors(err);
  c.err = &err.mgr;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&c);
    return false;
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, data, size);
  c.image_width = dib.width;
  c.image_height = dib.height;
  c.input_components = grey ? 1 : 3;
  c.in_color_space = grey ? JCS_GRAYSCALE : o.lab ? JCS_UNKNOWN : JCS_RGB;
  jpeg_set_defaults(&c);  // JCS_UNKNOWN: three components stored as given
  jpeg_set_quality(&c, o.quality, TRUE);
  c.optimize_coding = o.optimize ? TRUE : FALSE;
  if (!grey) {
    c.comp_info[0].h_samp_factor = o.hSampling;
    c.comp_info[0].v_samp_factor = o.vSampling;
    for (int i = 1; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  }
  int xDpi = Dpi(dib.xPelsPerMeter), yDpi = Dpi(dib.yPelsPerMeter);
  if (xDpi && yDpi) {
    c.density_unit = 1;
    c.X_density = static_cast<UINT16>(xDpi);
    c.Y_density = static_cast<UINT16>(yDpi);
  }
  jpeg_start_compress(&c, TRUE);
  if (o.lab || o.faxMarker) {
    JOCTET marker[10];
    std::memcpy(marker, kFaxId, 6);
    marker[6] = kFaxVersion >> 8, marker[7] = kFaxVersion & 0xFF;
    marker[8] = static_cast<JOCTET>(yDpi >> 8), marker[9] = static_cast<JOCTET>(yDpi & 0xFF);
    jpeg_write_marker(&c, JPEG_APP0 + 1, marker, sizeof marker);
  }
  while (c.next_scanline < c.image_height) {
    FillRow(dib, c.next_scanline, grey, o.lab, row);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return true;
}

// ---- decoding ---------------------------------------------------------------------

struct Decoder {
  jpeg_decompress_struct d;
  ErrorManager err;
  bool created = false;
  bool lab = false;
  bool invertedCmyk = false;  // an APP14 marker: CMYK stored inverted
  LONG xppm = 0, yppm = 0;
};

bool HasFaxMarker(const jpeg_decompress_struct& d, int* dpi) {
  for (jpeg_saved_marker_ptr m = d.marker_list; m; m = m->next) {
    if (m->marker != JPEG_APP0 + 1 || m->data_length < 6 || std::memcmp(m->data, kFaxId, 6) != 0) continue;
    if (m->data_length >= 10) *dpi = (m->data[8] << 8) | m->data[9];
    return true;
  }
  return false;
}

bool Start(Decoder& x, const BYTE* data, std::size_t size) {
  InitErrors(x.err);
  x.d.err = &x.err.mgr;
  if (setjmp(x.err.jump)) return false;
  jpeg_create_decompress(&x.d);
  x.created = true;
  jpeg_mem_src(&x.d, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&x.d, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&x.d, TRUE);
  if (std::uint64_t(x.d.image_width) * x.d.image_height > tw::codec::kMaxPixels) return false;
  int faxDpi = 0;
  x.lab = x.d.num_components == 3 && HasFaxMarker(x.d, &faxDpi);
  if (x.lab) {
    x.d.jpeg_color_space = JCS_UNKNOWN;
    x.d.out_color_space = JCS_UNKNOWN;
  } else if (x.d.num_components == 1) {
    x.d.out_color_space = JCS_GRAYSCALE;
  } else if (x.d.num_components == 4) {
    x.d.out_color_space = JCS_CMYK;
    x.invertedCmyk = x.d.saw_Adobe_marker;
  } else {
    x.d.out_color_space = JCS_RGB;
  }
  if (x.lab && faxDpi > 0) {
    x.xppm = x.yppm = static_cast<LONG>(std::lround(faxDpi / 0.0254));
  } else if (x.d.density_unit == 1) {
    x.xppm = static_cast<LONG>(std::lround(x.d.X_density / 0.0254));
    x.yppm = static_cast<LONG>(std::lround(x.d.Y_density / 0.0254));
  } else if (x.d.density_unit == 2) {
    x.xppm = x.d.X_density * 100;
    x.yppm = x.d.Y_density * 100;
  }
  jpeg_start_decompress(&x.d);
  return true;
}

void StoreRow(const Decoder& x, const JSAMPLE* in, BYTE* out) {
  std::uint32_t w = x.d.output_width;
  if (x.d.out_color_space == JCS_GRAYSCALE) {
    std::memcpy(out, in, w);
    return;
  }
  for (std::uint32_t i = 0; i < w; ++i) {
    BYTE rgb[3];
    if (x.lab) {
      LabToRgb(in[3 * i], in[3 * i + 1], in[3 * i + 2], rgb);
    } else if (x.d.out_color_space == JCS_CMYK) {
      const JSAMPLE* p = in + 4 * std::size_t(i);
      int k = x.invertedCmyk ? p[3] : 255 - p[3];
      for (int c = 0; c < 3; ++c) rgb[c] = static_cast<BYTE>((x.invertedCmyk ? p[c] : 255 - p[c]) * k / 255);
    } else {
      std::memcpy(rgb, in + 3 * std::size_t(i), 3);
    }
    out[3 * i] = rgb[2], out[3 * i + 1] = rgb[1], out[3 * i + 2] = rgb[0];
  }
}

bool ReadRows(Decoder& x, tw::codec::DibBuilder& dib, JSAMPLE* line) {
  if (setjmp(x.err.jump)) return false;
  while (x.d.output_scanline < x.d.output_height) {
    std::uint32_t y = x.d.output_scanline;
    if (jpeg_read_scanlines(&x.d, &line, 1) != 1) return false;
    StoreRow(x, line, dib.Row(y));
  }
  jpeg_finish_decompress(&x.d);
  return true;
}

std::mutex g_tiffMutex;
std::string g_tiffLibrary;

using LoadTiffProc = HGLOBAL(WINAPI*)(LPCWSTR path, int image, DWORD flags);

// A TIFF named like a JPEG goes to the TIFF library, when the caller said where it is.
HGLOBAL LoadThroughTiff(const std::u16string& path) {
  std::string library;
  {
    std::lock_guard lock(g_tiffMutex);
    library = g_tiffLibrary;
  }
  if (library.empty()) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  HMODULE tiff = LoadLibraryW(tw::codec::FromAnsi(library.c_str()).c_str());
  if (!tiff) return nullptr;
  auto load = reinterpret_cast<LoadTiffProc>(GetProcAddress(tiff, "LoadTiffIntoDIBW"));
  HGLOBAL dib = load ? load(path.c_str(), 0, 0) : nullptr;
  DWORD error = dib ? 0 : load ? ERROR_INVALID_DATA : GetLastError();
  FreeLibrary(tiff);
  if (!dib) SetLastError(error);
  return dib;
}

}  // namespace

void SetTiffLibrary(const char* path) {
  std::lock_guard lock(g_tiffMutex);
  g_tiffLibrary = path ? std::string(path, strnlen(path, 1024)) : std::string();
}

namespace {

// The DIB stays locked here; `error` is the Win32 reason of a failure (the
// unlock afterwards would replace the thread's last error).
int SaveLocked(std::u16string_view name, HGLOBAL dib, const SaveOptions& o, DWORD& error) {
  error = ERROR_INVALID_PARAMETER;
  if (name.empty()) return TW_JPEG_ERROR_ARGUMENT;
  if ((o.hSampling != 1 && o.hSampling != 2) || (o.vSampling != 1 && o.vSampling != 2)) return TW_JPEG_ERROR_ARGUMENT;
  SaveOptions options = o;
  options.quality = std::clamp(o.quality, 1, 100);
  tw::codec::LockedBlock lock(dib);
  DibView view;
  if (!lock.Data() || tw::codec::ParseDib(lock.Bytes(), view) != tw::codec::DibStatus::Ok) return TW_JPEG_ERROR_DIB;
  if (view.width > JPEG_MAX_DIMENSION || view.height > JPEG_MAX_DIMENSION) return TW_JPEG_ERROR_DIB;
  bool grey = !options.lab && view.bits <= 8 && view.GreyTable();
  std::vector<JSAMPLE> row;
  try {
    row.resize(std::size_t(view.width) * 3);
  } catch (const std::bad_alloc&) {
    error = ERROR_NOT_ENOUGH_MEMORY;
    return TW_JPEG_ERROR_MEMORY;
  }

  std::u16string path(name);
  tw::codec::FileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    error = GetLastError();
    return TW_JPEG_ERROR_CREATE;
  }
  unsigned char* data = nullptr;
  unsigned long size = 0;
  int result = TW_JPEG_OK;
  if (!Compress(view, options, grey, row.data(), &data, &size)) {
    result = TW_JPEG_ERROR_ENCODE;
  } else if (!tw::codec::WriteAll(file.Get(), data, size)) {
    result = TW_JPEG_ERROR_WRITE;
  }
  std::free(data);
  error = result == TW_JPEG_ERROR_WRITE ? GetLastError() : ERROR_INVALID_DATA;
  file.Close();
  if (result != TW_JPEG_OK) DeleteFileW(path.c_str());  // no half-written file stays
  return result;
}

}  // namespace

int SaveDib(std::u16string_view name, HGLOBAL dib, const SaveOptions& options) {
  DWORD error = 0;
  int result = SaveLocked(name, dib, options, error);
  if (result != TW_JPEG_OK) SetLastError(error);
  return result;
}

HGLOBAL LoadJpeg(std::u16string_view name) {
  std::u16string path(name);
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<BYTE> bytes;
  {
    tw::codec::FileHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) return nullptr;
    if (size.QuadPart < 4 || size.QuadPart > (LONGLONG(1) << 30)) {
      SetLastError(ERROR_INVALID_DATA);
      return nullptr;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    if (!tw::codec::ReadExact(file.Get(), bytes.data(), bytes.size())) return nullptr;
  }
  if ((bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 42 && bytes[3] == 0) ||
      (bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && bytes[3] == 42))
    return LoadThroughTiff(path);

  Decoder x;
  HGLOBAL result = nullptr;
  DWORD error = ERROR_INVALID_DATA;
  if (Start(x, bytes.data(), bytes.size())) {
    bool grey = x.d.out_color_space == JCS_GRAYSCALE;
    std::vector<RGBQUAD> table;
    if (grey)
      for (int i = 0; i < 256; ++i) table.push_back({BYTE(i), BYTE(i), BYTE(i), 0});
    tw::codec::DibBuilder dib(x.d.output_width, x.d.output_height, grey ? 8 : 24, table, x.xppm, x.yppm);
    std::vector<JSAMPLE> line(std::size_t(x.d.output_width) * static_cast<unsigned>(x.d.output_components));
    if (!dib.Valid()) {
      error = ERROR_NOT_ENOUGH_MEMORY;
    } else if (ReadRows(x, dib, line.data()) && !x.err.sawEof) {
      result = dib.Release();
    }
  }
  if (x.created) jpeg_destroy_decompress(&x.d);
  if (!result) SetLastError(error);
  return result;
}

}  // namespace twjpeg
