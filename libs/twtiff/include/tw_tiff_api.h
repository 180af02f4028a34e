// TwTiff.dll: the TIFF codec library the TIFF, CALS, raw CCITT, IOCA and
// MO:DCA writers and the watermark loader load by name. Every operation is a
// plain C export; callers take them with GetProcAddress and the *_PROC types
// below.
//
// Handles. OpenTiffFileW / OpenTiffInMemory give a handle (null on failure)
// that CloseTiffFile releases. An unknown or closed handle fails cleanly.
//
// Modes of OpenTiffFileW and OpenTiffInMemory:
//   1  read only (the file or block must hold a TIFF)
//   2  add images: an existing TIFF is kept and new images go after its last
//      one; a missing file (or an empty block) starts a new TIFF
//   3  new: the file or block is started afresh
// The in-memory handle works on the caller's movable block: the library grows
// it with GlobalReAlloc (the block keeps its handle) and trims it to the TIFF's
// size when the handle is closed. A fixed block is refused.
//
// Images. DefineTiffImage hands out an image index; DefineTiffImageInfo(Buffer)
// collect its tags; EncodeTiffImage asks the row function for every row, top
// first, and appends the image to the file; DropTiffImage releases the
// definition. Images are appended in the order they are encoded. An index
// that names an image already in the file (see GetTiffImage) edits that
// image's descriptive tags instead (254, 269, 270, 282, 283, 285, 296, 297,
// 305, 306, 315).
//
// Tags the library takes: 254, 256, 257, 258, 259, 262, 266, 269, 270, 271,
// 272, 274, 277, 278, 282, 283, 284 (1 only), 285, 292, 293, 296, 297, 305,
// 306, 315, 317, 320. Integer field types (BYTE, SHORT, LONG) are
// interchangeable; a RATIONAL given as a one-value integer means value/1.
// Buffers hold BYTE/ASCII as bytes, SHORT as WORDs, LONG as DWORDs and
// RATIONAL as numerator/denominator DWORD pairs. The library adjusts what
// its encoders need:
//   - compression 6 (old-style JPEG) is written as 7 (JPEG, quality 75);
//   - JPEG images are 8-bit grey or YCbCr: palette, bilevel and 2/4-bit rows
//     are expanded through their colour map (grey when every entry is grey),
//     and rows per strip is rounded up to a multiple of 16;
//   - a colour map shorter than 2^bits entries is padded with black;
//   - rows per strip defaults to the whole image for CCITT coding and to
//     about 64 KB per strip otherwise.
// 1-bit rows are MSB first; with photometric 0 a set bit is black. The row
// buffer holds at least ((width x bits x samples + 31) / 32) x 4 bytes, so a
// caller may copy whole padded DIB rows into it. The row function returns 0
// to go on; anything else stops the image (error TW_TIFF_ERROR_ROW_SOURCE).
//
// Errors. Every failing call leaves a code (TiffError) and a text
// (TiffErrorString) for the calling thread; the text carries libtiff's own
// message when libtiff reported one. Successful calls leave both alone.
#pragma once
#include <windows.h>

#include <cstddef>

typedef struct TW_TIFF_FILE* HTWTIFF;

// Row function of EncodeTiffImage and EncodeCcittImage: fills `row` with image
// row `rowNumber` (0 = top); returns 0 on success.
typedef int(WINAPI* TW_TIFF_ROW_PROC)(BYTE* row, DWORD rowNumber, LPVOID context);

// GetTiffFileInfo's block: the writers read the image count at byte 264.
#pragma pack(push, 1)
typedef struct TW_TIFF_FILE_INFO {
  CHAR szFileName[260];  // file name in the ANSI code page; "" for a memory TIFF
  DWORD dwFileSize;      // bytes of TIFF data (0xFFFFFFFF above 4 GB)
  DWORD dwImageCount;    // images (directories) in the file
  DWORD dwByteOrder;     // 0x4949 ("II") or 0x4D4D ("MM"); 0 for an empty TIFF
} TW_TIFF_FILE_INFO;
#pragma pack(pop)
static_assert(sizeof(TW_TIFF_FILE_INFO) == 272);
static_assert(offsetof(TW_TIFF_FILE_INFO, dwImageCount) == 264);

// Error codes (TiffError).
#define TW_TIFF_ERROR_NONE 0
#define TW_TIFF_ERROR_ARGUMENT 1        // null pointer, bad handle, bad mode or scheme
#define TW_TIFF_ERROR_OPEN 2            // the file cannot be opened or created
#define TW_TIFF_ERROR_NOT_TIFF 3        // the file or block is not a readable TIFF
#define TW_TIFF_ERROR_MEMORY 4          // out of memory, or the block cannot grow
#define TW_TIFF_ERROR_IMAGE 5           // no such image or image definition
#define TW_TIFF_ERROR_TAG 6             // tag, field type or value not taken
#define TW_TIFF_ERROR_DEFINITION 7      // the image's tags do not describe an image the library writes
#define TW_TIFF_ERROR_ENCODE 8          // libtiff failed to encode or write the image
#define TW_TIFF_ERROR_WRITE 9           // writing the file or block failed
#define TW_TIFF_ERROR_DECODE 10         // libtiff failed to read or decode an image
#define TW_TIFF_ERROR_UNSUPPORTED 11    // an image kind the operation does not handle
#define TW_TIFF_ERROR_DIB 12            // the page DIB is invalid
#define TW_TIFF_ERROR_NOT_AVAILABLE 13  // the operation is not built in this library
#define TW_TIFF_ERROR_ROW_SOURCE 14     // the row function reported a failure
#define TW_TIFF_ERROR_TEXT_SIZE 1024    // TiffErrorString's buffer

// Schemes of SaveDIBInTiffFileW. 1-bit pages are bilevel (grey tables) or
// palette; 4- and 8-bit pages palette, or grey for a 256-entry grey ramp;
// 24- and 32-bit pages RGB. The CCITT schemes take 1-bit pages only.
#define TW_TIFF_SCHEME_NONE 201
#define TW_TIFF_SCHEME_PACKBITS 202
#define TW_TIFF_SCHEME_LZW 203
#define TW_TIFF_SCHEME_G3_1D 204
#define TW_TIFF_SCHEME_G3_2D 205
#define TW_TIFF_SCHEME_G4 206
#define TW_TIFF_SCHEME_DEFLATE 207
#define TW_TIFF_SCHEME_JPEG 209  // quality 75; grey or YCbCr

// EncodeCcittImage modes: the low 16 bits 3 (Group 3) or 4 (Group 4), plus
// TW_CCITT_2D (Group 3 only) and TW_CCITT_NO_EOL (Group 3 1-D only).
//   3        Modified Huffman rows, each after an EOL, ending with RTC
//   0x10003  Group 3 2-D (K = 4), EOL + tag bit per row, ending with RTC
//   0x40003  Modified Huffman rows without EOL, each row byte-aligned, no RTC
//   4        Group 4 (T.6), ending with EOFB
// Bits are MSB first; a set bit of a row is black.
#define TW_CCITT_GROUP3 3
#define TW_CCITT_GROUP4 4
#define TW_CCITT_2D 0x10000
#define TW_CCITT_NO_EOL 0x40000

// ---- the TIFF writers' operations -------------------------------------------
typedef HTWTIFF(WINAPI* OpenTiffFileW_PROC)(LPCWSTR fileName, int mode);
typedef HTWTIFF(WINAPI* OpenTiffInMemory_PROC)(HGLOBAL block, DWORD size, int mode);
// New image index, -1 on failure.
typedef int(WINAPI* DefineTiffImage_PROC)(HTWTIFF tiff);
typedef BOOL(WINAPI* DefineTiffImageInfo_PROC)(HTWTIFF tiff, int image, WORD tag, WORD fieldType, DWORD value);
typedef BOOL(WINAPI* DefineTiffImageInfoBuffer_PROC)(HTWTIFF tiff, int image, WORD tag, LPCVOID values,
                                                     WORD fieldType, DWORD count);
typedef BOOL(WINAPI* EncodeTiffImage_PROC)(HTWTIFF tiff, int image, LPVOID context, TW_TIFF_ROW_PROC rowProc);
// Finishes and releases the handle. A file or block this handle started that
// holds no image is removed (the file) or emptied (the block: one zero byte),
// so no TIFF without images is left behind.
typedef BOOL(WINAPI* CloseTiffFile_PROC)(HTWTIFF tiff);
// Appends the page DIB to the file (created when missing) with a scheme above.
typedef BOOL(WINAPI* SaveDIBInTiffFileW_PROC)(LPCWSTR fileName, HGLOBAL dib, int scheme, DWORD reserved);
// The same with an 8-bit (ANSI code page) file name.
typedef BOOL(WINAPI* SaveDIBInTiffFile_PROC)(LPCSTR fileName, HGLOBAL dib, int scheme, DWORD reserved);
typedef BOOL(WINAPI* GetTiffFileInfo_PROC)(HTWTIFF tiff, TW_TIFF_FILE_INFO* info);
typedef BOOL(WINAPI* GetTiffImage_PROC)(HTWTIFF tiff, int image);
// Rewrites PageNumber (297) of every image that has one, in place: in a file
// of several images image k gets (k, total), in a one-image file the page
// index stays; total = pageCount, or the number of images when larger.
typedef BOOL(WINAPI* UpdatePageNumbersW_PROC)(LPCWSTR fileName, DWORD pageCount);
typedef BOOL(WINAPI* UpdatePageNumbersInMemory_PROC)(HTWTIFF tiff, DWORD pageCount);
// Appends a 1-bit page DIB as a CISCO-format image (see the conversion).
typedef BOOL(WINAPI* SaveTiffForCiscoFormatW_PROC)(LPCWSTR fileName, HGLOBAL dib);
// Rewrites a bilevel TIFF for CISCO fax gateways (TIFF-F style): every image
// Modified Huffman (compression 3, T4Options 4: EOLs byte-aligned), FillOrder 2,
// photometric 0, NewSubfileType 2, PageNumber (k, n), one strip per image,
// resolution kept (204 x 196 when missing). Through a temporary file in the
// same folder that then replaces the file.
typedef BOOL(WINAPI* ConvertTiffToCiscoFormatW_PROC)(LPCWSTR fileName);
typedef int(WINAPI* TiffError_PROC)(void);
typedef void(WINAPI* SetTiffError_PROC)(int code);
// Fills `buffer` (TW_TIFF_ERROR_TEXT_SIZE bytes) with the text of `code`:
// the calling thread's full text when `code` is its last error, else the
// code's general text. Returns the text's length.
typedef int(WINAPI* TiffErrorString_PROC)(LPSTR buffer, int code);
typedef BOOL(WINAPI* DropTiffImage_PROC)(HTWTIFF tiff, int image);
// Moves the last image to the 0-based position by relinking the directories;
// no image data is copied. `reserved` must be 0.
typedef BOOL(WINAPI* MoveLastImageFast_PROC)(HTWTIFF tiff, int position, DWORD reserved);

// ---- raster writers and the watermark loader --------------------------------
// Writes CCITT-coded rows at the file handle's position (see the modes above).
typedef BOOL(WINAPI* EncodeCcittImage_PROC)(HANDLE file, DWORD width, DWORD height, DWORD mode, LPVOID context,
                                            TW_TIFF_ROW_PROC rowProc);
// Not built in this library yet: both return TW_TIFF_ERROR_NOT_AVAILABLE
// (0 would be success) and leave that code and its text.
typedef int(WINAPI* SaveDIBInIOCAFormatW_PROC)(LPCWSTR fileName, HGLOBAL dib, int compression, int quality);
typedef int(WINAPI* InsertMODCAPageW_PROC)(LPCWSTR fileName, int position, HGLOBAL dib, int compression,
                                           int quality);
// Reads image `image` (0 = the first) of a TIFF file into a new page DIB
// (movable block, the caller's): bilevel images as 1-bit DIBs (entry 0
// black, entry 1 white), grey and palette images of up to 8 bits as 8-bit
// DIBs with their table, everything else as 24-bit DIBs. `flags` must be 0.
typedef HGLOBAL(WINAPI* LoadTiffIntoDIBW_PROC)(LPCWSTR path, int image, DWORD flags);
