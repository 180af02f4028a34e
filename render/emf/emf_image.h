// CEMFImage: turns one page of a job (an enhanced metafile, or a raw page
// DIB) into the page image the writers store.
//
// The writers and the page processing use it like this:
//
//   CEMFImage image;
//   if (!image.Create(hPageData, &m_DevMode, m_pJob, FALSE, TRUE, FALSE)) return FALSE;  // reported
//   HGLOBAL dib = image.m_hDIB;  // the page DIB, or image.TakeDIB() to keep it
//
// (CreateFromRawData for raw pages). A failure has been reported through
// the job's error handler; the caller abandons the page. The page DIB is a
// packed DIB in one movable block: a 40-byte header, the colour table
// (biClrUsed entries) and bottom-up rows padded to 4 bytes, of 1 bit (table
// black, white), 8 bits (grey or palette) or 24 bits by the job's colour
// mode, with the resolution of the page in pixels per metre. The record
// given is updated: page size in pixels and paper size from the metafile
// (unless both paper-size bits of dmFields are set), UserFlags under forced
// resolution. m_nLeft, m_nTop, m_nWidth, m_nHeight tell where the image
// lies in the full page after trimming and cropping.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

#include "job/devmode/tarnwick_devmode.h"

class CTWJob;

// The size of a vector page in pixels of its reference device, and its
// resolution in dots per inch (single precision, as the header gives them).
struct EMFPageSizeF {
  FLOAT cx = 0;
  FLOAT cy = 0;
};
struct EMFResolutionF {
  FLOAT x = 0;
  FLOAT y = 0;
};

namespace tw::render {
struct PageSettings;
struct BoundsTrim;

// The owner of a metafile handle the vector page operations hand out.
struct EmfDeleter {
  void operator()(HENHMETAFILE h) const { DeleteEnhMetaFile(h); }
};
using EmfPtr = std::unique_ptr<std::remove_pointer_t<HENHMETAFILE>, EmfDeleter>;
}  // namespace tw::render

class CEMFImage {
 public:
  CEMFImage();
  // Frees the page DIB and the header, then sleeps for the job's EndPage delay.
  ~CEMFImage();
  CEMFImage(const CEMFImage&) = delete;
  CEMFImage& operator=(const CEMFImage&) = delete;

  // Renders a metafile page (the block holds the EMF, optionally behind a
  // placeable header; it stays the caller's). bCompanion: the raster only
  // accompanies a vector page (no Bates number). bRegisterFonts: register
  // the page's embedded fonts unless the job has. bNoText: play the page
  // without its text records and skip the text pass.
  BOOL Create(HGLOBAL hData, TarnwickDEVMODE* pDevMode, CTWJob* pJob, BOOL bCompanion, BOOL bRegisterFonts,
              BOOL bNoText);
  // Renders a raw page (a packed DIB at the record's resolution) in bands.
  BOOL CreateFromRawData(HGLOBAL hData, TarnwickDEVMODE* pDevMode, CTWJob* pJob);

  // --- vector pages (emf_vector.cpp) ---
  // The page's metafiles for the vector outputs and printer forwarding:
  // the page itself, the overlay (decorations over the page; null when
  // none applies) and the underlay (watermarks under it; only when
  // phUnderlay is given), with the page size and resolution. bRedirect:
  // for a forwarding copy (no trim, no rotation, copy number for the
  // decorations). pTrim (in/out, may be null) receives the margins removed.
  // FALSE: the page is abandoned; the metafiles made so far are the
  // caller's, who deletes them.
  BOOL CreateEnhMetaFileExt(HGLOBAL hData, TarnwickDEVMODE* pDevMode, CTWJob* pJob, HENHMETAFILE* phPage,
                            HENHMETAFILE* phOverlay, EMFPageSizeF* pSize, EMFResolutionF* pRes,
                            HENHMETAFILE* phUnderlay, BOOL bRedirect, DWORD dwCopy, RECT* pTrim);
  // The same for a raw page DIB.
  BOOL CreateEnhMetaFileFromRawDataExt(HGLOBAL hData, TarnwickDEVMODE* pDevMode, CTWJob* pJob,
                                       HENHMETAFILE* phPage, HENHMETAFILE* phOverlay, EMFPageSizeF* pSize,
                                       EMFResolutionF* pRes, HENHMETAFILE* phUnderlay, DWORD dwCopy);

  // The render bitmap's header (m_lpBmi) for a metafile page of the record;
  // replaces a previous one.
  BOOL FillBITMAPINFO(TarnwickDEVMODE* pDevMode);
  // The same for a raw page.
  BOOL FillBITMAPINFOForRawData(TarnwickDEVMODE* pDevMode);
  // A header of the given size and pixels per metre with the depth rule of
  // FillBITMAPINFO, in a fixed global block the caller frees; null on failure.
  static LPBITMAPINFO FillBITMAPINFO2(CTWJob* pJob, const TarnwickDEVMODE* pDevMode, LONG width, LONG height,
                                      LONG xPelsPerMeter, LONG yPelsPerMeter);

  // A metafile that draws a raw page DIB (for the vector outputs), or null.
  HENHMETAFILE ReadMetaFileFromRawData(HGLOBAL hData, TarnwickDEVMODE* pDevMode, CTWJob* pJob);

  // Page size (cx, cy) of a metafile in pixels of its reference device;
  // fills the outputs that are given; (0, 0) on failure.
  static SIZE GetEMFPageSizeInPixels(HENHMETAFILE hEmf, LONG* pPelsPerMeter, RECT* pBounds, UINT headerSize);

  // Allocates m_hDIB for m_lpBmi: header and colour table; the rows are
  // left for the band copies to write.
  BOOL AllocPageDIB();
  // Copies the rows of a rendered band (the bitmap's rows, at most to the
  // page's end) into the page DIB at page row bandTop (counted from the top).
  BOOL CopyBandToDIB(HDC hdc, HBITMAP hBitmap, DWORD bandTop, const BITMAPINFO* pHeader);
  // The page DIB reduced to the colour depth of the job, or null.
  HGLOBAL DitherImage(HGLOBAL hDIB, const TarnwickDEVMODE* pDevMode);

  // Hands the page DIB over to the caller (who frees it).
  HGLOBAL TakeDIB();

  HGLOBAL m_hDIB = nullptr;         // the page DIB, owned until taken
  LPBITMAPINFO m_lpBmi = nullptr;   // the render bitmap's header (fixed global block), owned
  CTWJob* m_pJob = nullptr;
  DWORD m_dwImageHeight = 0;        // rows of the page bitmap
  INT m_nLastNupPage = 0;
  INT m_nLeft = 0;
  INT m_nTop = 0;
  INT m_nWidth = 0;
  INT m_nHeight = 0;

 // --- operations of the decoration and font areas (seams until they land) ---
  // The image watermark under a raster page of width x height.
  BOOL AddWatermark(HDC hdc, const TarnwickDEVMODE* pDevMode, LONG width, LONG height);
  void DrawAnnotation(HDC hdc, const TarnwickDEVMODE* pDevMode, DWORD copyNumber);
  void DrawHeader(HDC hdc, const TarnwickDEVMODE* pDevMode, DWORD copyNumber);
  void DrawFooter(HDC hdc, const TarnwickDEVMODE* pDevMode, DWORD copyNumber);
  BOOL DrawBatesNumber(HDC hdc, const TarnwickDEVMODE* pDevMode);
  // Registers the fonts the page carries in its comments for the job.
  BOOL RegisterFonts(HENHMETAFILE hEmf);

 private:
  BOOL FillHeader(TarnwickDEVMODE* pDevMode, bool raw);
  BOOL Fail(int number, const char* file, int line);
  BOOL RenderMetaFile(HENHMETAFILE emf, TarnwickDEVMODE* pDevMode, const tw::render::PageSettings& settings,
                      const tw::render::BoundsTrim& trim, SIZE scaled, LONG referencePpm, BOOL bCompanion,
                      BOOL bRegisterFonts, BOOL bNoText);
  BOOL RenderRawBands(HGLOBAL hData, TarnwickDEVMODE* pDevMode, const tw::render::PageSettings& settings);
  void DrawDecorations(HDC dc, TarnwickDEVMODE* pDevMode, const tw::render::PageSettings& settings, LONG width,
                       LONG height, bool batesReady, bool bates);
  BOOL FinishPage(TarnwickDEVMODE* pDevMode, const tw::render::PageSettings& settings, bool raw, BOOL bNoText);
  void TrimByIntensity(const tw::render::PageSettings& settings, bool updatePosition);
  void CropPage(const TarnwickDEVMODE* pDevMode, const tw::render::PageSettings& settings, bool updatePosition);
  BOOL RotatePage(const TarnwickDEVMODE* pDevMode, const tw::render::PageSettings& settings);
  BOOL ReducePage(const TarnwickDEVMODE* pDevMode, bool raw);
  void ReplaceDIB(HGLOBAL hNew);
};

// --- vector page preparation (emf_vector.cpp) ---
// A new metafile of the page turned by `rotation` (0 to 3, clockwise
// quarter turns of the content: 1 maps (x, y) to (y, W - x)); the input is
// deleted (also on failure, when null is returned).
HENHMETAFILE RotateEMF(CTWJob* pJob, HENHMETAFILE hEmf, const EMFPageSizeF& size, const TarnwickDEVMODE* pDevMode,
                       int rotation);
// A new metafile of the page without the margins of `trim`; `size` is the
// page's size after the trim. The input is deleted (also on failure).
HENHMETAFILE CropEMF(CTWJob* pJob, HENHMETAFILE hEmf, const EMFPageSizeF& size, const EMFResolutionF& res,
                     const TarnwickDEVMODE* pDevMode, const RECT& trim);
// Turns each present metafile by the page's rotation ("Rotation" of the
// page settings, or with Flags 0x40000 3 for landscape) and adapts the
// record and the size. FALSE when a metafile could not be turned (it is
// then null).
BOOL ApplyRotationToEMFs(CTWJob* pJob, HENHMETAFILE* phPage, HENHMETAFILE* phOverlay, HENHMETAFILE* phUnderlay,
                         TarnwickDEVMODE* pDevMode, EMFPageSizeF* pSize);
// The record-replay callback of the vector page operations: text records
// lose ETO_IGNORELANGUAGE (in a copy), every record is played; always 1.
int CALLBACK ReplayEMFRecordProc(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles,
                                 LPARAM param);

// The page's metafile from its block (behind a placeable header or not);
// null after reporting internal error 100 to 104 through the job.
HENHMETAFILE ReadMetaFile(HGLOBAL hData, CTWJob* pJob);

// The thread's render bitmap for a header: the cached one when width,
// height and depth match, else a new one (a monochrome bitmap for one bit,
// else a DIB section) that replaces it in the cache.
HBITMAP GetCachedDIBSection(HDC hdc, const BITMAPINFO* pHeader);
// The same kinds of bitmap without the cache; owned by the caller.
HBITMAP GetDIBSection2(HDC hdc, const BITMAPINFO* pHeader);
// Deletes the thread's cached render bitmap (end of the thread's work).
void ReleaseRenderBitmapCache();
// A new page DIB of the header's size holding all rows of the bitmap.
BOOL CopyBitmapToNewDIB(HDC hdc, HBITMAP hBitmap, const BITMAPINFO* pHeader, HGLOBAL* phDIB);

// biWidth and |biHeight| of a page DIB.
BOOL GetDIBSize(HGLOBAL hDIB, LONG* pWidth, LONG* pHeight);
// For each side asked for, the distance in pixels from that edge to the
// nearest inked pixel (R + G + B <= 3 x threshold), or -1 when the page has
// no ink. 1-, 8- and 24-bit page DIBs.
BOOL FindContentMargins(HGLOBAL hDIB, BYTE threshold, LONG* pLeft, LONG* pRight, LONG* pTop, LONG* pBottom);
// 1 when the page (a metafile block, or a raw DIB when bRaw) is blank, 0
// when it has ink or cannot be examined (the page is then written and its
// fault reported where it is rendered).
BOOL IsBlankPage(HGLOBAL hData, CTWJob* pJob, BOOL bRaw);
