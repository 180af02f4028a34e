// Raw CCITT data (no TIFF around it) written at a file handle's position.
#pragma once
#include <windows.h>

#include <vector>

#include "image_def.h"

namespace twtiff {

bool EncodeCcitt(HANDLE file, DWORD width, DWORD height, DWORD mode, const RowSource& rows);
// The same coded data into `coded` (the IOCA pages wrap it in their own fields).
bool EncodeCcittData(DWORD width, DWORD height, DWORD mode, const RowSource& rows, std::vector<BYTE>& strip);

}  // namespace twtiff
