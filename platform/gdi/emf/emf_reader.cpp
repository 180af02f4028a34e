// Bounds-checked reading of metafile headers, records, embedded DIBs and
// regions.
#include "emf_reader.h"

#include <algorithm>

#include "../dibinfo.h"

namespace tw::emf {
namespace {

bool fail(const char** why, const char* reason) {
  if (why) *why = reason;
  return false;
}

}  // namespace

bool ReadHeader(std::span<const BYTE> data, HeaderInfo& info, const char** why) {
  info = HeaderInfo{};
  if (data.size() < ENHMETAHEADER_SIZE_BASE) return fail(why, "shorter than a metafile header");
  ENHMETAHEADER h{};
  std::memcpy(&h, data.data(), ENHMETAHEADER_SIZE_BASE);
  if (h.iType != EMR_HEADER) return fail(why, "first record is not a header");
  if (h.dSignature != ENHMETA_SIGNATURE) return fail(why, "no metafile signature");
  if (h.nSize < ENHMETAHEADER_SIZE_BASE || h.nSize % 4 != 0) return fail(why, "bad header size");
  if (h.nBytes > data.size()) return fail(why, "metafile longer than its data");
  if (h.nSize > h.nBytes) return fail(why, "header longer than the metafile");

  // The optional fields exist only where the header is long enough and no
  // description (or pixel format) starts inside them: old writers put the
  // description straight after the 88-byte base.
  auto freeUpTo = [&](DWORD end) {
    if (h.nSize < end) return false;
    if (h.nDescription != 0 && h.offDescription < end) return false;
    return true;
  };
  if (freeUpTo(ENHMETAHEADER_SIZE_PIXELFORMAT)) {
    std::memcpy(&h.cbPixelFormat, data.data() + 88, 12);
    info.hasPixelFormatFields = true;
    if (h.cbPixelFormat != 0 && h.offPixelFormat < ENHMETAHEADER_SIZE_PIXELFORMAT) info.hasPixelFormatFields = false;
  }
  if (!info.hasPixelFormatFields) h.cbPixelFormat = h.offPixelFormat = h.bOpenGL = 0;
  if (info.hasPixelFormatFields && freeUpTo(ENHMETAHEADER_SIZE_MICROMETERS) &&
      (h.cbPixelFormat == 0 || h.offPixelFormat >= ENHMETAHEADER_SIZE_MICROMETERS)) {
    std::memcpy(&h.szlMicrometers, data.data() + 100, 8);
    info.hasMicrometers = true;
  }
  if (!info.hasMicrometers) {
    // From millimetres, kept within LONG (a damaged size must not overflow).
    auto um = [](LONG mm) {
      long long v = static_cast<long long>(mm) * 1000;
      return static_cast<LONG>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
    };
    h.szlMicrometers.cx = um(h.szlMillimeters.cx);
    h.szlMicrometers.cy = um(h.szlMillimeters.cy);
  }
  // Description and pixel format are used only when they lie inside the
  // header record; damaged offsets make them absent, not the file invalid.
  if (h.nDescription != 0 && h.nDescription <= h.nSize / 2 && h.offDescription >= ENHMETAHEADER_SIZE_BASE &&
      CheckedEnd(h.offDescription, size_t(h.nDescription) * 2, h.nSize) && h.offDescription % 2 == 0) {
    info.descriptionOffset = h.offDescription;
    info.descriptionChars = h.nDescription;
  }
  if (info.hasPixelFormatFields && h.cbPixelFormat != 0 && CheckedEnd(h.offPixelFormat, h.cbPixelFormat, h.nSize)) {
    info.pixelFormatOffset = h.offPixelFormat;
    info.pixelFormatSize = h.cbPixelFormat;
  }
  info.header = h;
  info.storedSize = h.nSize;
  info.dataSize = h.nBytes;
  return true;
}

RecordReader::Status RecordReader::Next(BYTE*& record, DWORD& size) {
  record = nullptr;
  size = 0;
  if (sawEof_) return Status::End;
  size_t left = data_.size() - offset_;
  if (left < 8) return Status::End;  // no room for another record: the data simply ends
  BYTE* p = data_.data() + offset_;
  DWORD type, nSize;
  std::memcpy(&type, p, 4);
  std::memcpy(&nSize, p + 4, 4);
  if (nSize < 8 || nSize % 4 != 0 || nSize > left) return Status::Malformed;
  if (offset_ == 0 && type != EMR_HEADER) return Status::Malformed;
  if (offset_ != 0 && type == EMR_HEADER) return Status::Malformed;
  record = p;
  size = nSize;
  offset_ += nSize;
  if (type == EMR_EOF) sawEof_ = true;
  return Status::Record;
}

size_t DibStride(LONG width, WORD bitCount) {
  if (width <= 0) return 0;
  unsigned long long bits = static_cast<unsigned long long>(width) * bitCount;
  unsigned long long stride = ((bits + 31) / 32) * 4;
  if (stride > kMaxDibBytes) return 0;
  return static_cast<size_t>(stride);
}

namespace {

// The header fields of a record's DIB, whatever its header form.
struct DibFields {
  BITMAPINFOHEADER header{};  // biSize is the stored size
  size_t tableOffset = 0;     // from the header's start
  size_t entrySize = 4;       // colour table entry in the record: RGBTRIPLE, RGBQUAD or WORD
};

DibRead readFields(const BYTE* base, DWORD cbBmi, DWORD usage, DibFields& f) {
  DWORD biSize;
  std::memcpy(&biSize, base, 4);
  f.entrySize = usage == DIB_PAL_COLORS ? 2 : 4;
  if (biSize == sizeof(BITMAPCOREHEADER)) {
    if (cbBmi < biSize) return DibRead::Malformed;
    // 16-bit sizes, no compression field, an RGBTRIPLE table.
    BITMAPCOREHEADER core;
    std::memcpy(&core, base, sizeof(core));
    f.header.biSize = biSize;
    f.header.biWidth = core.bcWidth;
    f.header.biHeight = core.bcHeight;
    f.header.biPlanes = 1;
    f.header.biBitCount = core.bcBitCount;
    f.tableOffset = biSize;
    if (usage != DIB_PAL_COLORS) f.entrySize = 3;
    return DibRead::Ok;
  }
  // BITMAPINFOHEADER and its longer versions (52, 56, 108, 124 bytes and
  // the others GDI accepts); shorter forms (OS/2's 16 to 36 bytes) are not
  // read by GDI.
  if (biSize < sizeof(BITMAPINFOHEADER) || biSize > tw::gdi::kMaxDibHeaderSize) return DibRead::Refused;
  if (cbBmi < biSize) return DibRead::Malformed;
  std::memcpy(&f.header, base, sizeof(BITMAPINFOHEADER));
  f.tableOffset = biSize;
  return DibRead::Ok;
}

}  // namespace

DibRead ReadDib(const RecordView& record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits, DibRef& dib,
                DWORD usage) {
  dib = DibRef{};
  if (cbBmi < 4 || !record.Contains(offBmi, cbBmi) || offBmi % 4 != 0) return DibRead::Malformed;
  const BYTE* base = record.Data() + offBmi;
  DibFields f;
  if (DibRead read = readFields(base, cbBmi, usage, f); read != DibRead::Ok) return read;
  BITMAPINFOHEADER bih = f.header;
  if (bih.biWidth <= 0 || bih.biHeight == 0 || bih.biHeight == std::numeric_limits<LONG>::min())
    return DibRead::Refused;
  const DWORD comp = bih.biCompression;
  const WORD bpp = bih.biBitCount;
  switch (comp) {
    case BI_RGB:
      if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return DibRead::Refused;
      break;
    case BI_RLE8:
      if (bpp != 8 || bih.biHeight < 0) return DibRead::Refused;
      break;
    case BI_RLE4:
      if (bpp != 4 || bih.biHeight < 0) return DibRead::Refused;
      break;
    case BI_BITFIELDS:
      if (bpp != 16 && bpp != 32) return DibRead::Refused;
      break;
    case BI_JPEG:
    case BI_PNG:
      break;
    default:
      return DibRead::Refused;
  }

  DWORD colors = 0;
  if (bpp <= 8 && bpp != 0) {
    DWORD full = 1u << bpp;
    colors = (bih.biClrUsed == 0 || bih.biClrUsed > full) ? full : bih.biClrUsed;
  }
  const size_t outEntry = usage == DIB_PAL_COLORS ? 2 : 4;
  const size_t maskBytes = comp == BI_BITFIELDS ? 12 : 0;
  const size_t normalBytes = sizeof(BITMAPINFOHEADER) + maskBytes + size_t(colors) * outEntry;

  // GDI reads the record's header as it is when it already has the normal
  // form: 40 bytes, masks right after it, a complete table of `colors`.
  bool normal = bih.biSize == sizeof(BITMAPINFOHEADER) && f.entrySize == outEntry && normalBytes <= cbBmi &&
                bih.biClrUsed == (bpp <= 8 ? colors : 0);
  if (normal) {
    dib.info = reinterpret_cast<const BITMAPINFO*>(base);
    dib.infoSize = cbBmi;
  } else {
    // The normal form in a copy of its final size (nothing points into it
    // before it is complete). Masks sit at offset 40 in every header form;
    // the table follows the stored header. What the record lacks stays zero.
    dib.infoCopy.assign(normalBytes, 0);
    BITMAPINFOHEADER out = bih;
    out.biSize = sizeof(BITMAPINFOHEADER);
    out.biClrUsed = bpp <= 8 ? colors : 0;
    std::memcpy(dib.infoCopy.data(), &out, sizeof(out));
    BYTE* dst = dib.infoCopy.data() + sizeof(BITMAPINFOHEADER);
    if (maskBytes && cbBmi > sizeof(BITMAPINFOHEADER))
      std::memcpy(dst, base + sizeof(BITMAPINFOHEADER), std::min<size_t>(maskBytes, cbBmi - sizeof(BITMAPINFOHEADER)));
    dst += maskBytes;
    size_t have = cbBmi > f.tableOffset ? (cbBmi - f.tableOffset) / f.entrySize : 0;
    const BYTE* table = base + f.tableOffset;
    for (size_t i = 0; i < std::min<size_t>(colors, have); ++i) {
      if (f.entrySize == 3) {  // RGBTRIPLE -> RGBQUAD
        std::memcpy(dst + i * 4, table + i * 3, 3);
      } else {
        std::memcpy(dst + i * outEntry, table + i * f.entrySize, outEntry);
      }
    }
    dib.info = reinterpret_cast<const BITMAPINFO*>(dib.infoCopy.data());
    dib.infoSize = static_cast<DWORD>(dib.infoCopy.size());
  }
  dib.headerBytes = static_cast<DWORD>(normalBytes);

  // The bits: what the record holds, clamped to the record.
  if (offBits >= record.Size()) return DibRead::Malformed;
  size_t available = std::min<size_t>(cbBits, record.Size() - offBits);
  const BYTE* bits = record.Data() + offBits;
  LONG height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
  const bool compressedStream = comp == BI_RLE8 || comp == BI_RLE4 || comp == BI_JPEG || comp == BI_PNG;
  if (compressedStream) {
    if (available == 0) return DibRead::Refused;
    // The decoded image must be as plausible as an uncompressed one.
    size_t stride = DibStride(bih.biWidth, bpp ? bpp : 32);
    if (stride == 0 || size_t(height) > kMaxDibBytes / stride) return DibRead::Refused;
    // Decoders stop at biSizeImage: make it the bytes really present, and
    // end an RLE stream that lacks its end-of-bitmap mark.
    if (dib.infoCopy.empty()) {
      dib.infoCopy.assign(base, base + normalBytes);
      dib.info = reinterpret_cast<const BITMAPINFO*>(dib.infoCopy.data());
      dib.infoSize = static_cast<DWORD>(normalBytes);
    }
    auto* hdr = reinterpret_cast<BITMAPINFOHEADER*>(dib.infoCopy.data());
    if (comp == BI_RLE8 || comp == BI_RLE4) {
      dib.padded.assign(bits, bits + available);
      dib.padded.push_back(0);
      dib.padded.push_back(1);
      dib.bits = dib.padded.data();
      dib.bitsSize = static_cast<DWORD>(dib.padded.size());
    } else {
      dib.bits = bits;
      dib.bitsSize = static_cast<DWORD>(available);
    }
    hdr->biSizeImage = dib.bitsSize;
  } else {
    size_t stride = DibStride(bih.biWidth, bpp);
    if (stride == 0 || size_t(height) > kMaxDibBytes / stride) return DibRead::Refused;
    size_t need = stride * size_t(height);
    if (available < need && need > kMaxPaddedDibBytes) return DibRead::Refused;  // mostly missing: damage, not a picture
    if (available >= need) {
      dib.bits = bits;
      dib.bitsSize = static_cast<DWORD>(need);
    } else {
      // Too few bits: the rows that are there, the rest zero.
      // (Rows are stored in order, so the ones present keep their places.)
      dib.padded.assign(need, 0);
      std::memcpy(dib.padded.data(), bits, available);
      dib.bits = dib.padded.data();
      dib.bitsSize = static_cast<DWORD>(need);
    }
  }
  dib.width = bih.biWidth;
  dib.height = bih.biHeight;
  dib.bitCount = bpp;
  dib.compression = comp;
  dib.colorsUsed = colors;
  return DibRead::Ok;
}

bool ReadRegion(const RecordView& record, size_t offset, DWORD cbRgnData, const RGNDATAHEADER*& header,
                std::span<const RECT>& rects) {
  header = nullptr;
  rects = {};
  if (cbRgnData < sizeof(RGNDATAHEADER) || !record.Contains(offset, cbRgnData) || offset % 4 != 0) return false;
  const auto* h = reinterpret_cast<const RGNDATAHEADER*>(record.Data() + offset);
  if (h->dwSize != sizeof(RGNDATAHEADER) || h->iType != RDH_RECTANGLES) return false;
  if (h->nCount > (cbRgnData - sizeof(RGNDATAHEADER)) / sizeof(RECT)) return false;
  header = h;
  rects = {reinterpret_cast<const RECT*>(record.Data() + offset + sizeof(RGNDATAHEADER)), h->nCount};
  return true;
}

}  // namespace tw::emf
