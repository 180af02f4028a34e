// Test helper: builds enhanced-metafile bytes record by record, so tests can
// make well-formed files and then damage them on purpose.
// The default header is a 1000 x 1000 pixel, 100 x 100 mm reference device
// (0.1 mm per pixel) with the frame (0, 0, 2000, 1500): 200 x 150 pixels.
#pragma once
#include <cstring>
#include <initializer_list>
#include <vector>

#include <windows.h>

namespace twtest {

class EmfBytes {
 public:
  // A header of `headerSize` bytes (88, 100, 108, or more for a description).
  explicit EmfBytes(DWORD headerSize = 108, RECTL frame = {0, 0, 2000, 1500}, SIZEL device = {1000, 1000},
                    SIZEL mm = {100, 100}) {
    ENHMETAHEADER h{};
    h.iType = EMR_HEADER;
    h.nSize = headerSize;
    h.rclBounds = {0, 0, -1, -1};
    h.rclFrame = frame;
    h.dSignature = ENHMETA_SIGNATURE;
    h.nVersion = 0x10000;
    h.szlDevice = device;
    h.szlMillimeters = mm;
    if (headerSize >= 108) h.szlMicrometers = {mm.cx * 1000, mm.cy * 1000};
    bytes_.assign(headerSize, 0);
    std::memcpy(bytes_.data(), &h, std::min<size_t>(headerSize, sizeof(h)));
    records_ = 1;
  }

  ENHMETAHEADER& Header() { return *reinterpret_cast<ENHMETAHEADER*>(bytes_.data()); }

  // Appends a record of `type` with the given DWORD parameters.
  size_t Add(DWORD type, std::initializer_list<DWORD> params) {
    std::vector<BYTE> body(params.size() * 4);
    size_t i = 0;
    for (DWORD p : params) std::memcpy(body.data() + 4 * i++, &p, 4);
    return AddRaw(type, body);
  }
  // Appends a record with a raw body (padded to 4 bytes); returns its offset.
  size_t AddRaw(DWORD type, const std::vector<BYTE>& body) {
    size_t offset = bytes_.size();
    DWORD size = static_cast<DWORD>(8 + (body.size() + 3) / 4 * 4);
    bytes_.resize(offset + size, 0);
    std::memcpy(bytes_.data() + offset, &type, 4);
    std::memcpy(bytes_.data() + offset + 4, &size, 4);
    if (!body.empty()) std::memcpy(bytes_.data() + offset + 8, body.data(), body.size());
    ++records_;
    return offset;
  }
  // Appends a whole record struct (its emr fields are filled in).
  template <class T>
  size_t AddStruct(DWORD type, T record, size_t extra = 0) {
    std::vector<BYTE> body(sizeof(T) - 8 + extra, 0);
    std::memcpy(body.data(), reinterpret_cast<const BYTE*>(&record) + 8, sizeof(T) - 8);
    return AddRaw(type, body);
  }
  // Appends EMR_EOF and fixes nBytes/nRecords.
  std::vector<BYTE>& Finish() {
    Add(EMR_EOF, {0, 16, 20});
    Header().nBytes = static_cast<DWORD>(bytes_.size());
    Header().nRecords = records_;
    return bytes_;
  }
  std::vector<BYTE>& Bytes() { return bytes_; }
  void SetDword(size_t offset, DWORD value) { std::memcpy(bytes_.data() + offset, &value, 4); }

 private:
  std::vector<BYTE> bytes_;
  DWORD records_ = 0;
};

}  // namespace twtest
