// The PNG writer library over libpng 1.6: page DIBs as PNG files, and the
// PNG reader of the watermark loader. Its last error (index and text) is kept
// per thread.
#pragma once
#include <windows.h>

// Error indices and their texts (GetPNGLastError). 5 and 6 carry libpng's
// own message as their text.
#define TW_PNG_ERROR_NONE 0        // "No error"
#define TW_PNG_ERROR_CREATE 1      // "Unable to create file"
#define TW_PNG_ERROR_NOT_FOUND 2   // "File not found"
#define TW_PNG_ERROR_MEMORY 3      // "Not enuogh memory"
#define TW_PNG_ERROR_DIB 4         // "Invalid bitmap or DIB handle"
#define TW_PNG_ERROR_READ 5        // libpng failed while reading
#define TW_PNG_ERROR_WRITE 6       // libpng failed while writing (also a failed file write)
#define TW_PNG_ERROR_CREATE_DIB 7  // "Unable to create DIB"
#define TW_PNG_ERROR_GET_DIB 8     // "Unable to get DIB"
#define TW_PNG_ERROR_PALETTE 9     // "Palette missing"
#define TW_PNG_ERROR_DEPTH 10      // "Unsupported bit depth or alpha channel exist"
#define TW_PNG_ERROR_TEXT_SIZE 128

// The attach/detach routine the monitor's DllMain runs with its own reason
// (process detach 0, process attach 1, thread attach 2, thread detach 3):
// the per-thread error blocks and their TLS slot.
BOOL TwPNGMain(DWORD reason);

// Writes a page DIB of 1, 4, 8 (palette) or 24 bits (RGB) to `fileName`,
// created or truncated: IHDR with the DIB's size and depth, PLTE with its
// used colours, pHYs with its pixels per metre, rows top first. `reserved`
// is 0. FALSE with the thread's error set (1, 3, 4 or 6); a failed save
// leaves no file.
BOOL SaveDIBInPNGFormat(LPCWSTR fileName, HGLOBAL dib, DWORD reserved);

// Reads a PNG file into a new page DIB (movable block, the caller's), or null
// with the thread's error set and, when `errorIndex` is not null, stored
// there. Pixel depths 1, 4, 8 (palette or grey, with a colour table) and 24;
// with `withAlpha` also grey with alpha and RGB with alpha, as 32-bit DIBs
// whose colours are multiplied by their alpha.
HGLOBAL LoadPNGIntoDIB(LPCWSTR path, int* errorIndex, BOOL withAlpha);

// The calling thread's last error index; its text goes to `text`
// (TW_PNG_ERROR_TEXT_SIZE bytes) when that is not null.
int GetPNGLastError(LPSTR text);
