// Internal: bounds-checked reading of enhanced-metafile bytes. Nothing here
// trusts a size or offset field: every access is checked against the record
// (and the record against the buffer) before it is made.
#pragma once
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include <windows.h>

namespace tw::emf {

// What the header of a metafile says, after validation.
struct HeaderInfo {
  // The header in its full 108-byte form: fields the file does not have are
  // zero, and szlMicrometers is szlMillimeters x 1000 when the file has none.
  ENHMETAHEADER header{};
  DWORD storedSize = 0;      // nSize as stored (88, 100, 108 or more with a description)
  DWORD dataSize = 0;        // nBytes: the metafile's length
  bool hasPixelFormatFields = false;
  bool hasMicrometers = false;
  DWORD descriptionOffset = 0;  // 0 when the file has no usable description
  DWORD descriptionChars = 0;
  DWORD pixelFormatOffset = 0;  // 0 when there is no usable pixel format
  DWORD pixelFormatSize = 0;
};

// Validates the header at the start of `data` (record type 1, " EMF"
// signature, header size, nBytes within the data). On failure returns false
// with a short reason; the caller reports ERROR_INVALID_DATA.
bool ReadHeader(std::span<const BYTE> data, HeaderInfo& info, const char** why = nullptr);

// True when [offset, offset + length) lies within [0, limit), without overflow.
inline bool CheckedEnd(size_t offset, size_t length, size_t limit) {
  return offset <= limit && length <= limit - offset;
}

// A view of one record whose nSize has been checked against its buffer.
// Field reads go through As<>/Array<>, which check the record size.
class RecordView {
 public:
  RecordView() = default;
  RecordView(const BYTE* data, DWORD size) : data_(data), size_(size) {}

  DWORD Type() const { return Read<DWORD>(0); }
  DWORD Size() const { return size_; }
  const BYTE* Data() const { return data_; }
  bool Valid() const { return data_ != nullptr && size_ >= 8; }

  // The fixed part of a record as T, or null when the record is too short.
  template <class T>
  const T* As() const {
    return size_ >= sizeof(T) ? reinterpret_cast<const T*>(data_) : nullptr;
  }
  // The record as T when at least `minSize` bytes are present (for structs
  // whose declared size includes a one-element variable array).
  template <class T>
  const T* AsAtLeast(size_t minSize) const {
    return size_ >= minSize ? reinterpret_cast<const T*>(data_) : nullptr;
  }
  // `count` elements of T at byte `offset`, or an empty span (and ok =
  // false) when they do not fit in the record.
  template <class T>
  std::span<const T> Array(size_t offset, size_t count, bool& ok) const {
    ok = count <= (std::numeric_limits<size_t>::max() / sizeof(T)) && CheckedEnd(offset, count * sizeof(T), size_) &&
         offset % alignof(T) == 0;
    if (!ok || count == 0) return {};
    return {reinterpret_cast<const T*>(data_ + offset), count};
  }
  bool Contains(size_t offset, size_t length) const { return CheckedEnd(offset, length, size_); }
  template <class T>
  T Read(size_t offset) const {
    T value{};
    if (Contains(offset, sizeof(T))) std::memcpy(&value, data_ + offset, sizeof(T));
    return value;
  }

 private:
  const BYTE* data_ = nullptr;
  DWORD size_ = 0;
};

// Walks the records of a metafile buffer, checking each record's size
// against what is left of the buffer.
class RecordReader {
 public:
  enum class Status { Record, End, Malformed };

  explicit RecordReader(std::span<BYTE> data) : data_(data) {}

  // The next record, or End after EMR_EOF (or at the end of the data), or
  // Malformed for a record whose size is impossible. Sizes are re-read on
  // every call, so a record changed by a callback is checked again.
  Status Next(BYTE*& record, DWORD& size);
  size_t Offset() const { return offset_; }
  bool SawEof() const { return sawEof_; }

 private:
  std::span<BYTE> data_;
  size_t offset_ = 0;
  bool sawEof_ = false;
};

// A DIB embedded in a record (header + colour table at one offset, bits at
// another), checked: the header fits, the colour table fits, and the bits
// are long enough for the width, height and depth (uncompressed), or are
// present at all (compressed).
struct DibRef {
  DibRef() = default;
  DibRef(const DibRef&) = delete;  // `info`/`bits` may point into the vectors below
  DibRef& operator=(const DibRef&) = delete;
  DibRef(DibRef&&) = default;
  DibRef& operator=(DibRef&&) = default;

  // A BITMAPINFOHEADER (40 bytes), the masks after it for BI_BITFIELDS and
  // the whole colour table: the record's own bytes when they have that form,
  // else `infoCopy`.
  const BITMAPINFO* info = nullptr;
  DWORD infoSize = 0;
  DWORD headerBytes = 0;             // header + masks + colour table (where a packed DIB's bits start)
  const BYTE* bits = nullptr;        // points into the record (or `padded`)
  DWORD bitsSize = 0;
  LONG width = 0;
  LONG height = 0;                   // as stored (negative: top-down)
  WORD bitCount = 0;
  DWORD compression = 0;
  DWORD colorsUsed = 0;              // entries in the colour table
  std::vector<BYTE> infoCopy;        // the normalised header, masks and table, when the record's differ
  std::vector<BYTE> padded;          // bits completed with zeros when the record has too few

  bool Compressed() const { return compression != BI_RGB && compression != BI_BITFIELDS; }
};

// The largest uncompressed bitmap the player accepts (bytes of pixel data);
// anything larger in a record is treated as damage.
inline constexpr size_t kMaxDibBytes = size_t(512) << 20;
// The largest image whose missing rows are made up (zero-filled) when a
// record holds fewer bits than the image needs.
inline constexpr size_t kMaxPaddedDibBytes = size_t(128) << 20;

// Bytes of one row of an uncompressed DIB, 0 when it overflows.
size_t DibStride(LONG width, WORD bitCount);

// What ReadDib made of a record's bitmap. Refused: a header GDI does not
// accept (an unknown header size, depth or compression, a top-down RLE
// image, an absurd size): that record fails and playback goes on.
// Malformed: offsets or sizes that point outside the record.
enum class DibRead { Ok, Refused, Malformed };

// Checks the DIB at (offBmi, cbBmi) / (offBits, cbBits) of a record.
// Header forms: BITMAPCOREHEADER (12 bytes) and BITMAPINFOHEADER and its
// longer versions (40 bytes and more); BI_BITFIELDS masks are read at
// offset 40 whatever the header's size, the colour table after the header.
// When the bits are shorter than the image needs, a zero-padded copy is
// made (a truncated picture still draws its top rows).
DibRead ReadDib(const RecordView& record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits, DibRef& dib,
                DWORD usage = 0);

// A region stored in a record (RGNDATA: 32-byte header, then nCount RECTs),
// checked against cbRgnData and the record.
bool ReadRegion(const RecordView& record, size_t offset, DWORD cbRgnData, const RGNDATAHEADER*& header,
                std::span<const RECT>& rects);

}  // namespace tw::emf
