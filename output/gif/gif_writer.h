// The GIF writer library: a page DIB of 1, 2, 4 or 8 bits as a GIF87a file
// with one image and the page's colour table, coded by the library's own LZW
// coder. Its last error is kept per thread.
#pragma once
#include <windows.h>

// GIF error codes: the thread's last error, also stored through
// SaveDIBInGIFFormat's error address.
#define TW_GIF_ERROR_NONE 0
#define TW_GIF_ERROR_MEMORY 1  // a working buffer cannot be had
#define TW_GIF_ERROR_DIB 3     // no page DIB, an invalid one, or one GIF cannot hold (depth, size)
#define TW_GIF_ERROR_FILE 5    // the file cannot be created (also: it exists) or written
#define TW_GIF_ERROR_LZW 9     // the LZW coding failed

// The attach/detach routine the monitor's DllMain runs with its own reason
// (process detach 0, process attach 1, thread attach 2, thread detach 3):
// the per-thread error blocks and their TLS slot.
BOOL TwGIFMain(HINSTANCE module, DWORD reason);

// Writes the page DIB to a new file `fileName` (an existing file is not
// touched: error 5). `reserved` is 0. TRUE when the thread's error code is
// 0 afterwards; `errorCode` (may be null) receives that code. A failed save
// leaves no file.
BOOL SaveDIBInGIFFormat(LPCWSTR fileName, HGLOBAL dib, DWORD reserved, int* errorCode);

// The calling thread's last GIF error code.
int GetGIFLastError();
