// A metafile page for tests that need the page path to succeed but do not
// look at the pixels: a black box on a Letter frame, recorded on the screen
// context, padded with comment records to at least `minBytes`.
#pragma once
#include <windows.h>

#include <algorithm>
#include <vector>

namespace twtest {

inline std::vector<BYTE> EmfPage(size_t minBytes = 0) {
  RECT frame{0, 0, 21590, 27940};
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  if (!dc) return {};
  PatBlt(dc, 100, 100, 50, 50, BLACKNESS);
  const std::vector<BYTE> filler(256, 0x5A);
  // Each comment record is 12 bytes of record header and size beside its data.
  for (size_t recorded = 0; recorded < minBytes; recorded += filler.size() + 12)
    GdiComment(dc, static_cast<UINT>(filler.size()), filler.data());
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  if (!emf) return {};
  std::vector<BYTE> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
  GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data());
  DeleteEnhMetaFile(emf);
  return bytes;
}

}  // namespace twtest
