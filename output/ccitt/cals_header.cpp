#include "output/ccitt/cals_header.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace tw::ccitt {
namespace {

// A number zero-padded to `digits`.
std::string Padded(std::uint64_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*llu", digits, static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

CalsHeader MakeCalsHeader(DWORD width, DWORD height, LONG pelsPerMeter) {
  // Dots per inch, rounded, in the unsigned arithmetic of the field.
  const std::uint64_t density = (std::uint64_t{static_cast<DWORD>(pelsPerMeter)} * 100 + 1968) / 3937;
  const std::string records[] = {
      "srcdocid: ",
      "dstdocis: ",
      "txtfileid: ",
      "figid: ",
      "scrgph: ",
      "doccls: ",
      "rtype: " + Padded(1, 1),
      "rorient: " + Padded(0, 3) + "," + Padded(270, 3),
      "rpelcnt: " + Padded(width, 6) + "," + Padded(height, 6),
      "rdensty: " + Padded(density, 4),
      "notes: ",
  };
  CalsHeader header;
  header.fill(' ');
  for (std::size_t i = 0; i < std::size(records); ++i)
    std::memcpy(header.data() + i * kCalsRecordBytes, records[i].data(),
                std::min(records[i].size(), kCalsRecordBytes));
  return header;
}

}  // namespace tw::ccitt
