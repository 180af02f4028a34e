// MO:DCA structured fields and the IOCA image segment they carry: the byte
// layout of the IOCA and MO:DCA files (docs/codecs.md).
#pragma once
#include <windows.h>

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace twtiff::modca {

// Structured field identifiers (class D3, type, category). Type A8 begins
// and A9 ends a structure of its category.
enum : std::uint32_t {
  kBeginDocument = 0xD3A8A8,
  kEndDocument = 0xD3A9A8,
  kBeginPage = 0xD3A8AF,
  kEndPage = 0xD3A9AF,
  kBeginActiveEnvironmentGroup = 0xD3A8C9,
  kEndActiveEnvironmentGroup = 0xD3A9C9,
  kPageDescriptor = 0xD3A6AF,
  kBeginImageObject = 0xD3A8FB,
  kEndImageObject = 0xD3A9FB,
  kBeginObjectEnvironmentGroup = 0xD3A8C7,
  kEndObjectEnvironmentGroup = 0xD3A9C7,
  kObjectAreaDescriptor = 0xD3A66B,
  kObjectAreaPosition = 0xD3AC6B,
  kMapImageObject = 0xD3ABFB,
  kImageDataDescriptor = 0xD3A6FB,
  kImagePictureData = 0xD3EEFB,
};
inline constexpr BYTE kCarriageControl = 0x5A;  // before every field
inline constexpr std::size_t kIntroducerBytes = 8;  // length (2), id (3), flags, reserved (2)
inline constexpr std::size_t kMaxFieldData = 32767 - kIntroducerBytes;
inline constexpr BYTE kTypeBegin = 0xA8, kTypeEnd = 0xA9;

// IOCA compression ids (Image Encoding parameter) and the recording
// algorithm used with all of them (RIDIC: rows padded to whole bytes).
inline constexpr BYTE kIocaNone = 0x03, kIocaG4 = 0x82, kIocaJpeg = 0x83, kIocaRidic = 0x01;

// One page's image as the IOCA segment describes it.
struct IocaImage {
  std::uint16_t width = 0, height = 0;  // image points
  std::uint16_t xRes = 0, yRes = 0;     // image points per 10 inches
  BYTE compression = kIocaNone;
  BYTE ideSize = 1;  // bits per image point: 1 (1 = dark), 8 (grey, 0 = black) or 24 (RGB, YCbCr in JPEG)
  std::vector<BYTE> data;
};

// The IOCA image segment: Begin Segment ... End Segment.
std::vector<BYTE> IocaSegment(const IocaImage& image);

// Appends the fields of one page (BPG ... EPG) holding the image as an image
// object; `pageNumber` (1-based) names the page and its object.
void AppendPage(std::vector<BYTE>& out, const IocaImage& image, std::uint32_t pageNumber);
void AppendBeginDocument(std::vector<BYTE>& out);
void AppendEndDocument(std::vector<BYTE>& out);

}  // namespace twtiff::modca
