// TwPdfImage.dll: PDF documents of page images, imported by ordinal.
//
// A document is written as its pages come: each pdf_SaveDIBAsPDFPage adds
// one image, its content stream and its page object to the file; the page
// tree, the catalogue, the document information, the cross-reference table
// and the /ID are written by pdf_FinishPDF. The document is written beside
// its target and takes the target's place when finished, so a failed or
// abandoned document never leaves a partial file. When the target exists
// already, the new pages are added behind its pages instead of replacing it
// (it must be a PDF that opens without a password: otherwise pdf_CreatePDF
// fails and the file stays exactly as it was).
//
//   HANDLE h = nullptr;
//   pdf_Init_PDF(&h, name);            // ordinal 2
//   pdf_CreatePDF(h, name);            // ordinal 17
//   pdf_SaveDIBAsPDFPage(h, dib, codecPath, TWPDF_COMPRESS_G4, 75);  // ordinal 19, per page
//   pdf_FinishPDF(h);                  // ordinal 8
//   pdf_Release_PDF(h);                // ordinal 3
//
// Every function returns 0 on success and a TWPDF_IMAGE_ERROR_* code on
// failure, except pdf_Release_PDF, which returns TWPDF_RELEASE_FAILED (2)
// for a handle it does not know. Ordinal 4 gives the last error code of a
// document, ordinal 5 its text. Ordinal 9 abandons an unfinished document
// (the optional code is recorded as its last error); releasing an
// unfinished document abandons it as well.
#pragma once
#include <windows.h>

// Ordinals.
#define TWPDF_ORD_INIT_PDF 2
#define TWPDF_ORD_RELEASE_PDF 3
#define TWPDF_ORD_GET_LAST_ERROR 4
#define TWPDF_ORD_GET_ERROR_TEXT 5
#define TWPDF_ORD_FINISH_PDF 8
#define TWPDF_ORD_ABORT_PDF 9
#define TWPDF_ORD_CREATE_PDF 17
#define TWPDF_ORD_SAVE_DIB_AS_PDF_PAGE 19

// Compression flags of pdf_SaveDIBAsPDFPage. Group 4 applies to one-bit
// pages (other pages are compressed with Flate), JPEG to pages of more than
// one bit (one-bit pages are compressed with Flate); anything else is Flate.
#define TWPDF_COMPRESS_FLATE 0x0200
#define TWPDF_COMPRESS_G4 0x0800
#define TWPDF_COMPRESS_JPEG 0x1000

// Error codes (ordinal 4, and the results of the functions).
#define TWPDF_IMAGE_ERROR_ARGUMENT 1   // a null or malformed argument, or an unknown handle
#define TWPDF_IMAGE_ERROR_MEMORY 2     // out of memory
#define TWPDF_IMAGE_ERROR_OUTPUT 3     // the output cannot be created or written
#define TWPDF_IMAGE_ERROR_NOT_PDF 4    // the existing file is not a PDF that can be read
#define TWPDF_IMAGE_ERROR_ENCRYPTED 5  // the existing file is encrypted
#define TWPDF_IMAGE_ERROR_DIB 6        // the page is not a DIB this library reads
#define TWPDF_IMAGE_ERROR_STATE 7      // the call does not fit the document's state (not created, finished)
#define TWPDF_IMAGE_ERROR_ENCODE 8     // the image could not be compressed
#define TWPDF_IMAGE_ERROR_APPEND 9     // the pages could not be added to the existing file
#define TWPDF_IMAGE_ERROR_ABANDONED 10 // abandoned by ordinal 9 without a code

#define TWPDF_RELEASE_FAILED 2
#define TWPDF_ERROR_TEXT_UNITS 260  // the buffer of ordinal 5, terminator included

// 2: a new document handle for `fileName` (kept for the messages).
typedef int(WINAPI* PFN_pdf_Init_PDF)(HANDLE* phPDF, LPCWSTR fileName);
// 3: frees the handle (abandoning an unfinished document); 2 for an unknown handle.
typedef int(WINAPI* PFN_pdf_Release_PDF)(HANDLE hPDF);
// 4: the last error code of the document (0 none).
typedef int(WINAPI* PFN_pdf_GetLastError)(HANDLE hPDF);
// 5: the text of the last error into `text` (TWPDF_ERROR_TEXT_UNITS units).
typedef int(WINAPI* PFN_pdf_GetErrorText)(HANDLE hPDF, LPWSTR text);
// 8: writes the page tree, catalogue, information, cross-reference table and
// /ID, and puts the document in its target's place (merged behind an
// existing file's pages).
typedef int(WINAPI* PFN_pdf_FinishPDF)(HANDLE hPDF);
// 9: abandons the unfinished document; `code` (0: none) becomes its last error.
typedef int(WINAPI* PFN_pdf_AbortPDF)(HANDLE hPDF, int code);
// 17: starts the document (appending when `fileName` exists).
typedef int(WINAPI* PFN_pdf_CreatePDF)(HANDLE hPDF, LPCWSTR fileName);
// 19: one page from a packed DIB in a global memory block (left to the
// caller). The page size is the image at the DIB's resolution (300 DPI when
// it has none). `codecPath` is accepted and not needed: the library codes
// Group 4 and JPEG itself. `quality` is the JPEG quality (1..100).
typedef int(WINAPI* PFN_pdf_SaveDIBAsPDFPage)(HANDLE hPDF, HGLOBAL dib, LPCWSTR codecPath, DWORD compression,
                                              int quality);
