// Bounds-checked reading of metafile headers, records, embedded DIBs and
// regions.
#include "emf_reader.h"

#include <algorithm>

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

bool ReadDib(const RecordView& record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits, DibRef& dib,
             DWORD usage) {
  dib = DibRef{};
  if (cbBmi < 12 || !record.Contains(offBmi, cbBmi) || offBmi % 4 != 0) return false;
  const BYTE* base = record.Data() + offBmi;
  DWORD biSize = record.Read<DWORD>(offBmi);

  BITMAPINFOHEADER bih{};
  size_t tableOffset;  // from offBmi
  size_t entrySize = usage == DIB_PAL_COLORS ? 2 : 4;
  if (biSize == 12) {
    // BITMAPCOREHEADER: 16-bit sizes and an RGBTRIPLE table.
    WORD w, hgt, planes, bpp;
    std::memcpy(&w, base + 4, 2);
    std::memcpy(&hgt, base + 6, 2);
    std::memcpy(&planes, base + 8, 2);
    std::memcpy(&bpp, base + 10, 2);
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = w;
    bih.biHeight = hgt;
    bih.biPlanes = 1;
    bih.biBitCount = bpp;
    tableOffset = 12;
    if (usage != DIB_PAL_COLORS) entrySize = 3;
  } else {
    if (biSize < sizeof(BITMAPINFOHEADER) || biSize > cbBmi) return false;
    std::memcpy(&bih, base, sizeof(bih));
    tableOffset = biSize;
  }
  if (bih.biWidth <= 0 || bih.biHeight == 0 || bih.biHeight == std::numeric_limits<LONG>::min()) return false;
  const DWORD comp = bih.biCompression;
  const WORD bpp = bih.biBitCount;
  bool compressedStream = comp == BI_RLE8 || comp == BI_RLE4 || comp == BI_JPEG || comp == BI_PNG;
  switch (comp) {
    case BI_RGB:
      if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
      break;
    case BI_RLE8:
      if (bpp != 8 || bih.biHeight < 0) return false;
      break;
    case BI_RLE4:
      if (bpp != 4 || bih.biHeight < 0) return false;
      break;
    case BI_BITFIELDS:
      if (bpp != 16 && bpp != 32) return false;
      break;
    case BI_JPEG:
    case BI_PNG:
      break;
    default:
      return false;
  }

  // Colour masks follow a 40-byte header for BI_BITFIELDS.
  size_t maskBytes = (comp == BI_BITFIELDS && biSize == sizeof(BITMAPINFOHEADER)) ? 12 : 0;
  DWORD colors = 0;
  if (bpp <= 8 && bpp != 0) {
    DWORD full = 1u << bpp;
    colors = (bih.biClrUsed == 0 || bih.biClrUsed > full) ? full : bih.biClrUsed;
  }
  size_t tableBytes = size_t(colors) * entrySize;
  bool tableComplete = CheckedEnd(tableOffset, maskBytes + tableBytes, cbBmi);

  // The header GDI will read: the record's own when it is complete and
  // standard, otherwise a normalised copy with a zero-filled table.
  bool needCopy = biSize == 12 || !tableComplete || bih.biClrUsed != colors || biSize != sizeof(BITMAPINFOHEADER);
  if (bpp > 8 && bih.biClrUsed != 0) needCopy = true;
  if (needCopy) {
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biClrUsed = colors;
    size_t outEntry = usage == DIB_PAL_COLORS ? 2 : 4;
    dib.infoCopy.assign(sizeof(BITMAPINFOHEADER) + maskBytes + size_t(colors) * outEntry + 4, 0);
    std::memcpy(dib.infoCopy.data(), &bih, sizeof(bih));
    BYTE* out = dib.infoCopy.data() + sizeof(BITMAPINFOHEADER);
    size_t have = cbBmi > tableOffset ? cbBmi - tableOffset : 0;
    if (maskBytes) {
      std::memcpy(out, base + tableOffset, std::min(have, maskBytes));
      out += maskBytes;
    } else if (comp == BI_BITFIELDS && biSize >= 52) {
      // V4/V5 headers carry their masks inside the header: keep them after the 40 bytes.
      dib.infoCopy.resize(dib.infoCopy.size() + 12, 0);
      std::memmove(out + 12, out, size_t(colors) * outEntry);
      std::memcpy(out, base + 40, 12);
      out = dib.infoCopy.data() + sizeof(BITMAPINFOHEADER) + 12;
      reinterpret_cast<BITMAPINFOHEADER*>(dib.infoCopy.data())->biSize = sizeof(BITMAPINFOHEADER);
    }
    size_t tableHave = have > maskBytes ? have - maskBytes : 0;
    const BYTE* table = base + tableOffset + maskBytes;
    for (DWORD i = 0; i < colors && (size_t(i) + 1) * entrySize <= tableHave; ++i) {
      if (entrySize == 3) {  // RGBTRIPLE -> RGBQUAD
        out[i * 4] = table[i * 3];
        out[i * 4 + 1] = table[i * 3 + 1];
        out[i * 4 + 2] = table[i * 3 + 2];
      } else {
        std::memcpy(out + i * outEntry, table + i * entrySize, entrySize);
      }
    }
    dib.info = reinterpret_cast<const BITMAPINFO*>(dib.infoCopy.data());
    dib.infoSize = static_cast<DWORD>(dib.infoCopy.size());
  } else {
    dib.info = reinterpret_cast<const BITMAPINFO*>(base);
    dib.infoSize = cbBmi;
  }

  // The bits: what the record holds, clamped to the record.
  if (offBits >= record.Size()) return false;
  size_t available = std::min<size_t>(cbBits, record.Size() - offBits);
  const BYTE* bits = record.Data() + offBits;
  LONG height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
  if (compressedStream) {
    if (available == 0) return false;
    // The decoded image must be as plausible as an uncompressed one.
    size_t stride = DibStride(bih.biWidth, bpp ? bpp : 32);
    if (stride == 0 || size_t(height) > kMaxDibBytes / stride) return false;
    // Decoders stop at biSizeImage: make it the bytes really present, and
    // end an RLE stream that lacks its end-of-bitmap mark.
    if (dib.infoCopy.empty()) {
      dib.infoCopy.assign(reinterpret_cast<const BYTE*>(dib.info), reinterpret_cast<const BYTE*>(dib.info) + dib.infoSize);
      dib.info = reinterpret_cast<const BITMAPINFO*>(dib.infoCopy.data());
    }
    auto* hdr = reinterpret_cast<BITMAPINFOHEADER*>(dib.infoCopy.data());
    if (comp == BI_RLE8 || comp == BI_RLE4) {
      dib.padded.assign(bits, bits + available);
      dib.padded.push_back(0);
      dib.padded.push_back(1);
      hdr->biSizeImage = static_cast<DWORD>(dib.padded.size());
      dib.bits = dib.padded.data();
      dib.bitsSize = static_cast<DWORD>(dib.padded.size());
    } else {
      hdr->biSizeImage = static_cast<DWORD>(available);
      dib.bits = bits;
      dib.bitsSize = static_cast<DWORD>(available);
    }
  } else {
    size_t stride = DibStride(bih.biWidth, bpp);
    if (stride == 0 || size_t(height) > kMaxDibBytes / stride) return false;
    size_t need = stride * size_t(height);
    if (available < need && need > kMaxPaddedDibBytes) return false;  // mostly missing: damage, not a picture
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
  {
    const BITMAPINFOHEADER& h = dib.info->bmiHeader;
    size_t masks = h.biCompression == BI_BITFIELDS ? 12 : 0;
    dib.headerBytes = static_cast<DWORD>(h.biSize + masks + size_t(colors) * (usage == DIB_PAL_COLORS ? 2 : 4));
  }
  dib.width = bih.biWidth;
  dib.height = bih.biHeight;
  dib.bitCount = bpp;
  dib.compression = comp;
  dib.colorsUsed = colors;
  return true;
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
