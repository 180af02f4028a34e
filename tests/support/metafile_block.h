// A closed metafile's bytes in a movable block, as the driver's page data
// reaches the job. The metafile is deleted; `size` gets the byte count.
#pragma once

#include <windows.h>

#include "tw/packed_dib.h"

namespace twtest {

inline tw::dib::GlobalBlock MetafileBlock(HENHMETAFILE emf, DWORD& size) {
  size = GetEnhMetaFileBits(emf, 0, nullptr);
  tw::dib::GlobalBlock block(GlobalAlloc(GHND, size));
  {
    tw::dib::BlockLock lock(block.get());
    GetEnhMetaFileBits(emf, size, lock.data());
  }
  DeleteEnhMetaFile(emf);
  return block;
}

}  // namespace twtest
