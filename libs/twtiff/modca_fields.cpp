#include "modca_fields.h"

#include <algorithm>
#include <cstdio>

namespace twtiff::modca {
namespace {

constexpr char kDocumentName[] = "TWDOC001";
constexpr std::size_t kMaxImageDataChunk = 0xFFFF;  // of one IOCA Image Data parameter

void Put16(std::vector<BYTE>& out, std::uint32_t v) {
  out.push_back(static_cast<BYTE>(v >> 8));
  out.push_back(static_cast<BYTE>(v));
}
void Put24(std::vector<BYTE>& out, std::uint32_t v) {
  out.push_back(static_cast<BYTE>(v >> 16));
  Put16(out, v);
}

// One field: carriage control, introducer (flags and reserved bytes 0), data.
void Field(std::vector<BYTE>& out, std::uint32_t id, std::span<const BYTE> data = {}) {
  out.push_back(kCarriageControl);
  Put16(out, static_cast<std::uint32_t>(kIntroducerBytes + data.size()));
  Put24(out, id);
  out.insert(out.end(), {0, 0, 0});
  out.insert(out.end(), data.begin(), data.end());
}

// An 8-character name token in EBCDIC (upper-case letters, digits, blanks).
std::array<BYTE, 8> Name(std::string_view text) {
  std::array<BYTE, 8> token;
  token.fill(0x40);
  for (std::size_t i = 0; i < token.size() && i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') token[i] = static_cast<BYTE>(0xF0 + (c - '0'));
    else if (c >= 'A' && c <= 'I') token[i] = static_cast<BYTE>(0xC1 + (c - 'A'));
    else if (c >= 'J' && c <= 'R') token[i] = static_cast<BYTE>(0xD1 + (c - 'J'));
    else if (c >= 'S' && c <= 'Z') token[i] = static_cast<BYTE>(0xE2 + (c - 'S'));
  }
  return token;
}

std::array<BYTE, 8> NumberedName(char prefix, std::uint32_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "%c%07u", prefix, number % 10000000u);
  return Name(text);
}

}  // namespace

std::vector<BYTE> IocaSegment(const IocaImage& image) {
  std::vector<BYTE> s = {0x70, 0x00,         // Begin Segment, no name
                         0x91, 0x01, 0xFF};  // Begin Image Content, IOCA
  s.insert(s.end(), {0x94, 0x09, 0x00});     // Image Size, unit base 10 inches
  Put16(s, image.xRes);
  Put16(s, image.yRes);
  Put16(s, image.width);
  Put16(s, image.height);
  s.insert(s.end(), {0x95, 0x02, image.compression, kIocaRidic});  // Image Encoding
  s.insert(s.end(), {0x96, 0x01, image.ideSize});                  // IDE Size
  if (image.ideSize == 24) {
    // IDE Structure: additive, RGB (YCbCr inside JPEG data), 8 bits each.
    BYTE format = image.compression == kIocaJpeg ? 0x12 : 0x01;
    s.insert(s.end(), {0x9B, 0x08, 0x00, format, 0x00, 0x00, 0x00, 0x08, 0x08, 0x08});
  }
  for (std::size_t at = 0; at < image.data.size(); at += kMaxImageDataChunk) {
    std::size_t n = std::min(kMaxImageDataChunk, image.data.size() - at);
    s.insert(s.end(), {0xFE, 0x92});  // Image Data
    Put16(s, static_cast<std::uint32_t>(n));
    s.insert(s.end(), image.data.begin() + static_cast<std::ptrdiff_t>(at),
             image.data.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  s.insert(s.end(), {0x93, 0x00,    // End Image Content
                     0x71, 0x00});  // End Segment
  return s;
}

void AppendBeginDocument(std::vector<BYTE>& out) {
  std::vector<BYTE> data;
  auto name = Name(kDocumentName);
  data.insert(data.end(), name.begin(), name.end());
  data.insert(data.end(), {0x00, 0x00});  // reserved
  Field(out, kBeginDocument, data);
}

void AppendEndDocument(std::vector<BYTE>& out) { Field(out, kEndDocument, Name(kDocumentName)); }

void AppendPage(std::vector<BYTE>& out, const IocaImage& image, std::uint32_t pageNumber) {
  const auto pageName = NumberedName('P', pageNumber), imageName = NumberedName('I', pageNumber);
  Field(out, kBeginPage, pageName);

  // The page is the image's size, measured in its own resolution.
  Field(out, kBeginActiveEnvironmentGroup);
  std::vector<BYTE> pgd = {0x00, 0x00};  // unit bases: 10 inches
  Put16(pgd, image.xRes);
  Put16(pgd, image.yRes);
  Put24(pgd, image.width);
  Put24(pgd, image.height);
  pgd.insert(pgd.end(), {0x00, 0x00, 0x00});
  Field(out, kPageDescriptor, pgd);
  Field(out, kEndActiveEnvironmentGroup);

  Field(out, kBeginImageObject, imageName);
  Field(out, kBeginObjectEnvironmentGroup);
  std::vector<BYTE> obd = {0x03, 0x43, 0x01,              // Descriptor Position 1
                           0x08, 0x4B, 0x00, 0x00};       // Measurement Units, 10 inches
  Put16(obd, image.xRes);
  Put16(obd, image.yRes);
  obd.insert(obd.end(), {0x09, 0x4C, 0x02});  // Object Area Size, actual
  Put24(obd, image.width);
  Put24(obd, image.height);
  Field(out, kObjectAreaDescriptor, obd);
  // At the page origin, 0 and 90 degree axes, for the area and its content.
  const BYTE obp[] = {0x01, 0x17, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x2D, 0x00,
                      0x00, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x2D, 0x00, 0x01};
  Field(out, kObjectAreaPosition, obp);
  const BYTE mio[] = {0x00, 0x05, 0x03, 0x04, 0x20};  // Mapping Option: scale to fit
  Field(out, kMapImageObject, mio);
  std::vector<BYTE> idd = {0x00};  // unit base 10 inches
  Put16(idd, image.xRes);
  Put16(idd, image.yRes);
  Put16(idd, image.width);
  Put16(idd, image.height);
  // Function set 10 (bilevel) or 11.
  idd.insert(idd.end(), {0xF7, 0x02, 0x01, static_cast<BYTE>(image.ideSize == 1 ? 0x0A : 0x0B)});
  Field(out, kImageDataDescriptor, idd);
  Field(out, kEndObjectEnvironmentGroup);

  const std::vector<BYTE> segment = IocaSegment(image);
  for (std::size_t at = 0; at < segment.size(); at += kMaxFieldData) {
    std::size_t n = std::min(kMaxFieldData, segment.size() - at);
    Field(out, kImagePictureData, std::span<const BYTE>(segment.data() + at, n));
  }
  Field(out, kEndImageObject, imageName);
  Field(out, kEndPage, pageName);
}

}  // namespace twtiff::modca
