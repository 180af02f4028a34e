// Raw CCITT data (no TIFF around it) written at a file handle's position.
#pragma once
#include <windows.h>

#include "image_def.h"

namespace twtiff {

bool EncodeCcitt(HANDLE file, DWORD width, DWORD height, DWORD mode, const RowSource& rows);

}  // namespace twtiff
