// TwJpeg.dll: the JPEG codec library the JPEG writers and the watermark
// loader load by name. Plain C exports; callers take them with
// GetProcAddress and the *_PROC types below.
//
// SaveDIBInJPEGFileW writes a page DIB as a baseline JFIF file: 24- and
// 32-bit pages and colour tables as RGB (YCbCr 2x2 in the file), grey tables
// as 8-bit grey; the density is the DIB's, in dots per inch. The quality is
// libjpeg's 1 to 100 (values outside are clamped).
//
// SaveDIBInJPEGFileExW with wColorSpace 1 writes the page as CIELAB (the
// ITU-T T.42 encoding used by colour fax: D50 white, L* 0..100 -> 0..255,
// a* -85..85 and b* -75..125 -> 0..255), three components stored as they are
// (no colour transform), chroma sampled by wHSampling x wVSampling, with the
// "G3FAX" APP1 marker that names the encoding and carries the resolution.
// LoadJPEGIntoDIBW recognises that marker and converts back to RGB.
#pragma once
#include <windows.h>

#include <cstddef>

#pragma pack(push, 1)
typedef struct TW_JPEG_PARAMS {
  BYTE reserved0[12];
  WORD wQuality;         // 12: 1..100
  BYTE reserved14[6];
  WORD wHSampling;       // 20: chroma subsampling across (1 or 2)
  WORD wVSampling;       // 22: chroma subsampling down (1 or 2)
  WORD wReserved24;
  WORD wColorSpace;      // 26: 0 JFIF (YCbCr or grey), 1 CIELAB
  BYTE reserved28[16];
  DWORD dwFaxMarker;     // 44: 1 writes the G3FAX marker (always written for CIELAB)
  DWORD dwOptimize;      // 48: 1 computes optimal Huffman tables
} TW_JPEG_PARAMS;
#pragma pack(pop)
static_assert(sizeof(TW_JPEG_PARAMS) == 52);
static_assert(offsetof(TW_JPEG_PARAMS, wQuality) == 12 && offsetof(TW_JPEG_PARAMS, wHSampling) == 20 &&
              offsetof(TW_JPEG_PARAMS, wVSampling) == 22 && offsetof(TW_JPEG_PARAMS, wColorSpace) == 26 &&
              offsetof(TW_JPEG_PARAMS, dwFaxMarker) == 44 && offsetof(TW_JPEG_PARAMS, dwOptimize) == 48);

// Results of the save operations (0 is success). The loader returns null and
// sets the thread's Win32 last error instead.
#define TW_JPEG_OK 0
#define TW_JPEG_ERROR_ARGUMENT 1  // null name, parameter block or bad values
#define TW_JPEG_ERROR_DIB 2       // the page DIB is invalid or of an unsupported kind
#define TW_JPEG_ERROR_CREATE 3    // the file cannot be created (the Win32 last error says why)
#define TW_JPEG_ERROR_ENCODE 4    // libjpeg refused the image
#define TW_JPEG_ERROR_WRITE 5     // writing the file failed
#define TW_JPEG_ERROR_MEMORY 6

// Where the TIFF library is (8-bit path, up to 1024 bytes): LoadJPEGIntoDIBW
// hands TIFF files that carry a JPEG name to that library's LoadTiffIntoDIBW.
typedef void(WINAPI* SetTiffDllName_PROC)(LPCSTR tiffLibraryPath);
typedef int(WINAPI* SaveDIBInJPEGFileW_PROC)(LPCWSTR fileName, HGLOBAL dib, int quality);
typedef int(WINAPI* SaveDIBInJPEGFileExW_PROC)(LPCWSTR fileName, HGLOBAL dib, const TW_JPEG_PARAMS* params);
// A new page DIB (the caller's): grey JPEGs as 8-bit DIBs with a grey table,
// everything else as 24-bit; the density as pixels per metre. Null for a
// missing, damaged or truncated file.
typedef HGLOBAL(WINAPI* LoadJPEGIntoDIBW_PROC)(LPCWSTR path);
