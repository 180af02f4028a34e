// Enhanced-metafile records: the byte-exact record layouts of the EMF format
// (little-endian, 4-byte aligned, x64 Windows layouts). Included by wingdi.h after the GDI base structures (XFORM,
// LOGPEN, LOGFONTW, PALETTEENTRY, LOGPALETTE, LOGBRUSH32, EXTLOGPEN32,
// TRIVERTEX, COLORADJUSTMENT), the EMR_* type numbers and ENHMETAHEADER.
//
// Every record starts with EMR { iType, nSize }; nSize counts the whole
// record and is a multiple of 4. Arrays declared [1] are variable-length:
// their real length comes from a count field and must be checked against
// nSize before use (the player's reader does that).
#pragma once
#include "tw/wintypes.h"

// EMR_GDICOMMENT identifiers (first DWORD of the comment data) besides the
// public "GDIC" comments.
#define EMR_COMMENT_EMFPLUS_IDENTIFIER 0x2B464D45  // "EMF+"
#define EMR_COMMENT_EMFSPOOL_IDENTIFIER 0x00000000   // followed by "FNOT"
#define EMR_COMMENT_EMFSPOOL_FONT 0x544F4E46  // "FNOT"

// EMR_EXTTEXTOUT / EMR_SMALLTEXTOUT option bits that change a record's layout.
#define ETO_NO_RECT 0x00000100
#define ETO_SMALL_CHARS 0x00000200

// ---- records --------------------------------------------------------------

typedef struct tagEMR {
  DWORD iType;
  DWORD nSize;
} EMR, *PEMR;
static_assert(sizeof(EMR) == 8);

// Sizes of the header record (ENHMETAHEADER) in its three historical forms:
// files written before the pixel-format and micrometre extensions have nSize
// 88 (no cbPixelFormat...) or 100 (no szlMicrometers); a description string
// may start where a later field would lie.
#define ENHMETAHEADER_SIZE_BASE 88
#define ENHMETAHEADER_SIZE_PIXELFORMAT 100
#define ENHMETAHEADER_SIZE_MICROMETERS 108

typedef struct tagEMRPANOSE {
  BYTE bFamilyType, bSerifStyle, bWeight, bProportion, bContrast;
  BYTE bStrokeVariation, bArmStyle, bLetterform, bMidline, bXHeight;
} EMRPANOSE;
static_assert(sizeof(EMRPANOSE) == 10);

// The extended font form of EMR_EXTCREATEFONTINDIRECTW (LOGFONTW first).
typedef struct tagEMREXTLOGFONTW {
  LOGFONTW elfLogFont;
  WCHAR elfFullName[64];
  WCHAR elfStyle[32];
  DWORD elfVersion;
  DWORD elfStyleSize;
  DWORD elfMatch;
  DWORD elfReserved;
  BYTE elfVendorId[4];
  DWORD elfCulture;
  EMRPANOSE elfPanose;
} EMREXTLOGFONTW;
static_assert(sizeof(EMREXTLOGFONTW) == 320);

typedef struct tagEMRUNIVERSAL_FONT_ID {
  ULONG CheckSum;
  ULONG Index;
} EMRUNIVERSAL_FONT_ID;
static_assert(sizeof(EMRUNIVERSAL_FONT_ID) == 8);

// Text item shared by the EXTTEXTOUT and POLYTEXTOUT records; offsets count
// from the start of the record.
typedef struct tagEMRTEXT {
  POINTL ptlReference;
  DWORD nChars;
  DWORD offString;
  DWORD fOptions;
  RECTL rcl;
  DWORD offDx;
} EMRTEXT, *PEMRTEXT;
static_assert(sizeof(EMRTEXT) == 40 && offsetof(EMRTEXT, offDx) == 36);

// Records without parameters: ABORTPATH, BEGINPATH, ENDPATH, CLOSEFIGURE,
// FLATTENPATH, WIDENPATH, SETMETARGN, SAVEDC, REALIZEPALETTE.
typedef struct tagABORTPATH {
  EMR emr;
} EMRABORTPATH, *PEMRABORTPATH, EMRBEGINPATH, EMRENDPATH, EMRCLOSEFIGURE, EMRFLATTENPATH, EMRWIDENPATH,
    EMRSETMETARGN, EMRSAVEDC, EMRREALIZEPALETTE;
static_assert(sizeof(EMRABORTPATH) == 8);

// One DWORD parameter.
typedef struct tagEMRSELECTCLIPPATH {
  EMR emr;
  DWORD iMode;
} EMRSELECTCLIPPATH, EMRSETBKMODE, EMRSETMAPMODE, EMRSETLAYOUT, EMRSETPOLYFILLMODE, EMRSETROP2,
    EMRSETSTRETCHBLTMODE, EMRSETICMMODE, EMRSETTEXTALIGN;
static_assert(sizeof(EMRSELECTCLIPPATH) == 12);

typedef struct tagEMRSETMITERLIMIT {
  EMR emr;
  FLOAT eMiterLimit;
} EMRSETMITERLIMIT;
static_assert(sizeof(EMRSETMITERLIMIT) == 12);

typedef struct tagEMRRESTOREDC {
  EMR emr;
  LONG iRelative;
} EMRRESTOREDC;
static_assert(sizeof(EMRRESTOREDC) == 12);

typedef struct tagEMRSETARCDIRECTION {
  EMR emr;
  DWORD iArcDirection;
} EMRSETARCDIRECTION;
static_assert(sizeof(EMRSETARCDIRECTION) == 12);

typedef struct tagEMRSETMAPPERFLAGS {
  EMR emr;
  DWORD dwFlags;
} EMRSETMAPPERFLAGS;
static_assert(sizeof(EMRSETMAPPERFLAGS) == 12);

typedef struct tagEMRSETTEXTCOLOR {
  EMR emr;
  COLORREF crColor;
} EMRSETBKCOLOR, EMRSETTEXTCOLOR;
static_assert(sizeof(EMRSETTEXTCOLOR) == 12);

typedef struct tagEMRSELECTOBJECT {
  EMR emr;
  DWORD ihObject;
} EMRSELECTOBJECT, EMRDELETEOBJECT;
static_assert(sizeof(EMRSELECTOBJECT) == 12);

typedef struct tagEMRSELECTPALETTE {
  EMR emr;
  DWORD ihPal;
} EMRSELECTPALETTE;
static_assert(sizeof(EMRSELECTPALETTE) == 12);

typedef struct tagEMRRESIZEPALETTE {
  EMR emr;
  DWORD ihPal;
  DWORD cEntries;
} EMRRESIZEPALETTE;
static_assert(sizeof(EMRRESIZEPALETTE) == 16);

typedef struct tagEMRSETPALETTEENTRIES {
  EMR emr;
  DWORD ihPal;
  DWORD iStart;
  DWORD cEntries;
  PALETTEENTRY aPalEntries[1];
} EMRSETPALETTEENTRIES;
static_assert(sizeof(EMRSETPALETTEENTRIES) == 24);

typedef struct tagEMRSETCOLORADJUSTMENT {
  EMR emr;
  COLORADJUSTMENT ColorAdjustment;
} EMRSETCOLORADJUSTMENT;
static_assert(sizeof(EMRSETCOLORADJUSTMENT) == 32);

typedef struct tagEMRGDICOMMENT {
  EMR emr;
  DWORD cbData;
  BYTE Data[1];
} EMRGDICOMMENT, *PEMRGDICOMMENT;
static_assert(sizeof(EMRGDICOMMENT) == 16 && offsetof(EMRGDICOMMENT, Data) == 12);

typedef struct tagEMREOF {
  EMR emr;
  DWORD nPalEntries;
  DWORD offPalEntries;
  DWORD nSizeLast;
} EMREOF, *PEMREOF;
static_assert(sizeof(EMREOF) == 20);

typedef struct tagEMRLINETO {
  EMR emr;
  POINTL ptl;
} EMRLINETO, EMRMOVETOEX;
static_assert(sizeof(EMRLINETO) == 16);

typedef struct tagEMROFFSETCLIPRGN {
  EMR emr;
  POINTL ptlOffset;
} EMROFFSETCLIPRGN;
static_assert(sizeof(EMROFFSETCLIPRGN) == 16);

typedef struct tagEMRFILLPATH {
  EMR emr;
  RECTL rclBounds;
} EMRFILLPATH, EMRSTROKEANDFILLPATH, EMRSTROKEPATH;
static_assert(sizeof(EMRFILLPATH) == 24);

typedef struct tagEMREXCLUDECLIPRECT {
  EMR emr;
  RECTL rclClip;
} EMREXCLUDECLIPRECT, EMRINTERSECTCLIPRECT;
static_assert(sizeof(EMREXCLUDECLIPRECT) == 24);

typedef struct tagEMRSETVIEWPORTORGEX {
  EMR emr;
  POINTL ptlOrigin;
} EMRSETVIEWPORTORGEX, EMRSETWINDOWORGEX, EMRSETBRUSHORGEX;
static_assert(sizeof(EMRSETVIEWPORTORGEX) == 16);

typedef struct tagEMRSETVIEWPORTEXTEX {
  EMR emr;
  SIZEL szlExtent;
} EMRSETVIEWPORTEXTEX, EMRSETWINDOWEXTEX;
static_assert(sizeof(EMRSETVIEWPORTEXTEX) == 16);

typedef struct tagEMRSCALEVIEWPORTEXTEX {
  EMR emr;
  LONG xNum;
  LONG xDenom;
  LONG yNum;
  LONG yDenom;
} EMRSCALEVIEWPORTEXTEX, EMRSCALEWINDOWEXTEX;
static_assert(sizeof(EMRSCALEVIEWPORTEXTEX) == 24);

typedef struct tagEMRSETWORLDTRANSFORM {
  EMR emr;
  XFORM xform;
} EMRSETWORLDTRANSFORM;
static_assert(sizeof(EMRSETWORLDTRANSFORM) == 32);

typedef struct tagEMRMODIFYWORLDTRANSFORM {
  EMR emr;
  XFORM xform;
  DWORD iMode;
} EMRMODIFYWORLDTRANSFORM;
static_assert(sizeof(EMRMODIFYWORLDTRANSFORM) == 36);

typedef struct tagEMRSETPIXELV {
  EMR emr;
  POINTL ptlPixel;
  COLORREF crColor;
} EMRSETPIXELV;
static_assert(sizeof(EMRSETPIXELV) == 20);

typedef struct tagEMREXTFLOODFILL {
  EMR emr;
  POINTL ptlStart;
  COLORREF crColor;
  DWORD iMode;
} EMREXTFLOODFILL;
static_assert(sizeof(EMREXTFLOODFILL) == 24);

typedef struct tagEMRELLIPSE {
  EMR emr;
  RECTL rclBox;  // inclusive-inclusive
} EMRELLIPSE, EMRRECTANGLE;
static_assert(sizeof(EMRELLIPSE) == 24);

typedef struct tagEMRROUNDRECT {
  EMR emr;
  RECTL rclBox;
  SIZEL szlCorner;
} EMRROUNDRECT;
static_assert(sizeof(EMRROUNDRECT) == 32);

typedef struct tagEMRARC {
  EMR emr;
  RECTL rclBox;
  POINTL ptlStart;
  POINTL ptlEnd;
} EMRARC, EMRARCTO, EMRCHORD, EMRPIE;
static_assert(sizeof(EMRARC) == 40);

typedef struct tagEMRANGLEARC {
  EMR emr;
  POINTL ptlCenter;
  DWORD nRadius;
  FLOAT eStartAngle;
  FLOAT eSweepAngle;
} EMRANGLEARC;
static_assert(sizeof(EMRANGLEARC) == 28);

// POLYBEZIER, POLYGON, POLYLINE, POLYBEZIERTO, POLYLINETO.
typedef struct tagEMRPOLYLINE {
  EMR emr;
  RECTL rclBounds;
  DWORD cptl;
  POINTL aptl[1];
} EMRPOLYLINE, EMRPOLYBEZIER, EMRPOLYGON, EMRPOLYBEZIERTO, EMRPOLYLINETO;
static_assert(sizeof(EMRPOLYLINE) == 36 && offsetof(EMRPOLYLINE, aptl) == 28);

typedef struct tagEMRPOLYLINE16 {
  EMR emr;
  RECTL rclBounds;
  DWORD cpts;
  POINTS apts[1];
} EMRPOLYLINE16, EMRPOLYBEZIER16, EMRPOLYGON16, EMRPOLYBEZIERTO16, EMRPOLYLINETO16;
static_assert(sizeof(EMRPOLYLINE16) == 32 && offsetof(EMRPOLYLINE16, apts) == 28);

typedef struct tagEMRPOLYDRAW {
  EMR emr;
  RECTL rclBounds;
  DWORD cptl;
  POINTL aptl[1];
  BYTE abTypes[1];  // follows the cptl points
} EMRPOLYDRAW;
static_assert(sizeof(EMRPOLYDRAW) == 40);

typedef struct tagEMRPOLYDRAW16 {
  EMR emr;
  RECTL rclBounds;
  DWORD cpts;
  POINTS apts[1];
  BYTE abTypes[1];
} EMRPOLYDRAW16;
static_assert(sizeof(EMRPOLYDRAW16) == 36);

// POLYPOLYLINE, POLYPOLYGON: nPolys counts, then cptl points.
typedef struct tagEMRPOLYPOLYLINE {
  EMR emr;
  RECTL rclBounds;
  DWORD nPolys;
  DWORD cptl;
  DWORD aPolyCounts[1];
  POINTL aptl[1];
} EMRPOLYPOLYLINE, EMRPOLYPOLYGON;
static_assert(sizeof(EMRPOLYPOLYLINE) == 44 && offsetof(EMRPOLYPOLYLINE, aPolyCounts) == 32);

typedef struct tagEMRPOLYPOLYLINE16 {
  EMR emr;
  RECTL rclBounds;
  DWORD nPolys;
  DWORD cpts;
  DWORD aPolyCounts[1];
  POINTS apts[1];
} EMRPOLYPOLYLINE16, EMRPOLYPOLYGON16;
static_assert(sizeof(EMRPOLYPOLYLINE16) == 40);

// Region records: RgnData is an RGNDATA (32-byte header, then rectangles).
typedef struct tagEMRINVERTRGN {
  EMR emr;
  RECTL rclBounds;
  DWORD cbRgnData;
  BYTE RgnData[1];
} EMRINVERTRGN, EMRPAINTRGN;
static_assert(sizeof(EMRINVERTRGN) == 32 && offsetof(EMRINVERTRGN, RgnData) == 28);

typedef struct tagEMRFILLRGN {
  EMR emr;
  RECTL rclBounds;
  DWORD cbRgnData;
  DWORD ihBrush;
  BYTE RgnData[1];
} EMRFILLRGN;
static_assert(sizeof(EMRFILLRGN) == 36 && offsetof(EMRFILLRGN, RgnData) == 32);

typedef struct tagEMRFRAMERGN {
  EMR emr;
  RECTL rclBounds;
  DWORD cbRgnData;
  DWORD ihBrush;
  SIZEL szlStroke;
  BYTE RgnData[1];
} EMRFRAMERGN;
static_assert(sizeof(EMRFRAMERGN) == 44 && offsetof(EMRFRAMERGN, RgnData) == 40);

typedef struct tagEMREXTSELECTCLIPRGN {
  EMR emr;
  DWORD cbRgnData;
  DWORD iMode;
  BYTE RgnData[1];
} EMREXTSELECTCLIPRGN;
static_assert(sizeof(EMREXTSELECTCLIPRGN) == 20 && offsetof(EMREXTSELECTCLIPRGN, RgnData) == 16);

// Text.
typedef struct tagEMREXTTEXTOUTA {
  EMR emr;
  RECTL rclBounds;
  DWORD iGraphicsMode;
  FLOAT exScale;
  FLOAT eyScale;
  EMRTEXT emrtext;
} EMREXTTEXTOUTA, EMREXTTEXTOUTW;
static_assert(sizeof(EMREXTTEXTOUTA) == 76 && offsetof(EMREXTTEXTOUTA, emrtext) == 36);

typedef struct tagEMRPOLYTEXTOUTA {
  EMR emr;
  RECTL rclBounds;
  DWORD iGraphicsMode;
  FLOAT exScale;
  FLOAT eyScale;
  LONG cStrings;
  EMRTEXT aemrtext[1];
} EMRPOLYTEXTOUTA, EMRPOLYTEXTOUTW;
static_assert(sizeof(EMRPOLYTEXTOUTA) == 80 && offsetof(EMRPOLYTEXTOUTA, aemrtext) == 40);

// EMR_SMALLTEXTOUT: the fixed part; a RECTL clip follows unless
// ETO_NO_RECT, then cChars characters, 8-bit when ETO_SMALL_CHARS.
typedef struct tagEMRSMALLTEXTOUT {
  EMR emr;
  LONG x;
  LONG y;
  DWORD cChars;
  DWORD fuOptions;
  DWORD iGraphicsMode;
  FLOAT exScale;
  FLOAT eyScale;
} EMRSMALLTEXTOUT;
static_assert(sizeof(EMRSMALLTEXTOUT) == 36);

// Objects.
typedef struct tagEMRCREATEPEN {
  EMR emr;
  DWORD ihPen;
  LOGPEN lopn;
} EMRCREATEPEN;
static_assert(sizeof(EMRCREATEPEN) == 28 && offsetof(EMRCREATEPEN, lopn) == 12);

typedef struct tagEMREXTCREATEPEN {
  EMR emr;
  DWORD ihPen;
  DWORD offBmi;
  DWORD cbBmi;
  DWORD offBits;
  DWORD cbBits;
  EXTLOGPEN32 elp;
} EMREXTCREATEPEN;
static_assert(sizeof(EMREXTCREATEPEN) == 56 && offsetof(EMREXTCREATEPEN, elp) == 28);

typedef struct tagEMRCREATEBRUSHINDIRECT {
  EMR emr;
  DWORD ihBrush;
  LOGBRUSH32 lb;
} EMRCREATEBRUSHINDIRECT;
static_assert(sizeof(EMRCREATEBRUSHINDIRECT) == 24);

typedef struct tagEMRCREATEMONOBRUSH {
  EMR emr;
  DWORD ihBrush;
  DWORD iUsage;
  DWORD offBmi;
  DWORD cbBmi;
  DWORD offBits;
  DWORD cbBits;
} EMRCREATEMONOBRUSH, EMRCREATEDIBPATTERNBRUSHPT;
static_assert(sizeof(EMRCREATEMONOBRUSH) == 32);

typedef struct tagEMRCREATEPALETTE {
  EMR emr;
  DWORD ihPal;
  LOGPALETTE lgpl;  // palNumEntries entries follow palVersion
} EMRCREATEPALETTE;
static_assert(sizeof(EMRCREATEPALETTE) == 20 && offsetof(EMRCREATEPALETTE, lgpl) == 12);

// EMR_EXTCREATEFONTINDIRECTW: the font is a LOGFONTW (record size 104), the
// extended form above (332), or a LOGFONTW-led form with a design vector
// (368 and more). Only the LOGFONTW part is read by the player.
typedef struct tagEMREXTCREATEFONTINDIRECTW {
  EMR emr;
  DWORD ihFont;
  EMREXTLOGFONTW elfw;
} EMREXTCREATEFONTINDIRECTW;
static_assert(sizeof(EMREXTCREATEFONTINDIRECTW) == 332 && offsetof(EMREXTCREATEFONTINDIRECTW, elfw) == 12);
#define EMR_EXTCREATEFONTINDIRECTW_MIN_SIZE (12 + sizeof(LOGFONTW))

typedef struct tagEMRCOLORCORRECTPALETTE {
  EMR emr;
  DWORD ihPalette;
  DWORD nFirstEntry;
  DWORD nPalEntries;
  DWORD nReserved;
} EMRCOLORCORRECTPALETTE;
static_assert(sizeof(EMRCOLORCORRECTPALETTE) == 24);

// Colour spaces: the LOGCOLORSPACE bodies are kept as opaque bytes (the
// player only needs the object slot).
typedef struct tagEMRCREATECOLORSPACE {
  EMR emr;
  DWORD ihCS;
  BYTE lcs[328];  // LOGCOLORSPACEA
} EMRCREATECOLORSPACE;
static_assert(sizeof(EMRCREATECOLORSPACE) == 340);

typedef struct tagEMRCREATECOLORSPACEW {
  EMR emr;
  DWORD ihCS;
  BYTE lcs[588];  // LOGCOLORSPACEW
  DWORD dwFlags;
  DWORD cbData;
  BYTE Data[1];
} EMRCREATECOLORSPACEW;
static_assert(sizeof(EMRCREATECOLORSPACEW) == 612 && offsetof(EMRCREATECOLORSPACEW, Data) == 608);

typedef struct tagEMRSETCOLORSPACE {
  EMR emr;
  DWORD ihCS;
} EMRSETCOLORSPACE, EMRSELECTCOLORSPACE, EMRDELETECOLORSPACE;
static_assert(sizeof(EMRSETCOLORSPACE) == 12);

// Bitmaps. Offsets (offBmi..., offBits...) count from the record start.
typedef struct tagEMRBITBLT {
  EMR emr;
  RECTL rclBounds;
  LONG xDest;
  LONG yDest;
  LONG cxDest;
  LONG cyDest;
  DWORD dwRop;
  LONG xSrc;
  LONG ySrc;
  XFORM xformSrc;
  COLORREF crBkColorSrc;
  DWORD iUsageSrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
} EMRBITBLT;
static_assert(sizeof(EMRBITBLT) == 100 && offsetof(EMRBITBLT, xformSrc) == 52 && offsetof(EMRBITBLT, offBmiSrc) == 84);

// STRETCHBLT; ALPHABLEND (dwRop holds the BLENDFUNCTION bytes) and
// TRANSPARENTBLT (dwRop holds the transparent colour) share the layout.
typedef struct tagEMRSTRETCHBLT {
  EMR emr;
  RECTL rclBounds;
  LONG xDest;
  LONG yDest;
  LONG cxDest;
  LONG cyDest;
  DWORD dwRop;
  LONG xSrc;
  LONG ySrc;
  XFORM xformSrc;
  COLORREF crBkColorSrc;
  DWORD iUsageSrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
  LONG cxSrc;
  LONG cySrc;
} EMRSTRETCHBLT, EMRALPHABLEND, EMRTRANSPARENTBLT;
static_assert(sizeof(EMRSTRETCHBLT) == 108 && offsetof(EMRSTRETCHBLT, cxSrc) == 100);

typedef struct tagEMRMASKBLT {
  EMR emr;
  RECTL rclBounds;
  LONG xDest;
  LONG yDest;
  LONG cxDest;
  LONG cyDest;
  DWORD dwRop;
  LONG xSrc;
  LONG ySrc;
  XFORM xformSrc;
  COLORREF crBkColorSrc;
  DWORD iUsageSrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
  LONG xMask;
  LONG yMask;
  DWORD iUsageMask;
  DWORD offBmiMask;
  DWORD cbBmiMask;
  DWORD offBitsMask;
  DWORD cbBitsMask;
} EMRMASKBLT;
static_assert(sizeof(EMRMASKBLT) == 128 && offsetof(EMRMASKBLT, xMask) == 100);

typedef struct tagEMRPLGBLT {
  EMR emr;
  RECTL rclBounds;
  POINTL aptlDest[3];
  LONG xSrc;
  LONG ySrc;
  LONG cxSrc;
  LONG cySrc;
  XFORM xformSrc;
  COLORREF crBkColorSrc;
  DWORD iUsageSrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
  LONG xMask;
  LONG yMask;
  DWORD iUsageMask;
  DWORD offBmiMask;
  DWORD cbBmiMask;
  DWORD offBitsMask;
  DWORD cbBitsMask;
} EMRPLGBLT;
static_assert(sizeof(EMRPLGBLT) == 140 && offsetof(EMRPLGBLT, xformSrc) == 64);

typedef struct tagEMRSETDIBITSTODEVICE {
  EMR emr;
  RECTL rclBounds;
  LONG xDest;
  LONG yDest;
  LONG xSrc;
  LONG ySrc;
  LONG cxSrc;
  LONG cySrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
  DWORD iUsageSrc;
  DWORD iStartScan;
  DWORD cScans;
} EMRSETDIBITSTODEVICE;
static_assert(sizeof(EMRSETDIBITSTODEVICE) == 76);

typedef struct tagEMRSTRETCHDIBITS {
  EMR emr;
  RECTL rclBounds;
  LONG xDest;
  LONG yDest;
  LONG xSrc;
  LONG ySrc;
  LONG cxSrc;
  LONG cySrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
  DWORD iUsageSrc;
  DWORD dwRop;
  LONG cxDest;
  LONG cyDest;
} EMRSTRETCHDIBITS;
static_assert(sizeof(EMRSTRETCHDIBITS) == 80 && offsetof(EMRSTRETCHDIBITS, dwRop) == 68 && offsetof(EMRSTRETCHDIBITS, cxDest) == 72);

typedef struct tagEMRGRADIENTFILL {
  EMR emr;
  RECTL rclBounds;
  DWORD nVer;
  DWORD nTri;
  ULONG ulMode;
  TRIVERTEX Ver[1];  // nVer vertices, then nTri GRADIENT_TRIANGLE or GRADIENT_RECT
} EMRGRADIENTFILL;
static_assert(sizeof(EMRGRADIENTFILL) == 52 && offsetof(EMRGRADIENTFILL, Ver) == 36);

// Escapes, OpenGL, ICM and font-mapping records (not drawn; kept for layout).
typedef struct tagEMRGLSRECORD {
  EMR emr;
  DWORD cbData;
  BYTE Data[1];
} EMRGLSRECORD;
static_assert(sizeof(EMRGLSRECORD) == 16);

typedef struct tagEMRGLSBOUNDEDRECORD {
  EMR emr;
  RECTL rclBounds;
  DWORD cbData;
  BYTE Data[1];
} EMRGLSBOUNDEDRECORD;
static_assert(sizeof(EMRGLSBOUNDEDRECORD) == 32);

typedef struct tagEMRPIXELFORMAT {
  EMR emr;
  BYTE pfd[40];  // PIXELFORMATDESCRIPTOR
} EMRPIXELFORMAT;
static_assert(sizeof(EMRPIXELFORMAT) == 48);

typedef struct tagEMREXTESCAPE {
  EMR emr;
  INT iEscape;
  INT cbEscData;
  BYTE EscData[1];
} EMREXTESCAPE, EMRDRAWESCAPE;
static_assert(sizeof(EMREXTESCAPE) == 20);

typedef struct tagEMRNAMEDESCAPE {
  EMR emr;
  INT iEscape;
  INT cbDriver;
  INT cbEscData;
  BYTE EscData[1];
} EMRNAMEDESCAPE;
static_assert(sizeof(EMRNAMEDESCAPE) == 24);

typedef struct tagEMRSETICMPROFILE {
  EMR emr;
  DWORD dwFlags;
  DWORD cbName;
  DWORD cbData;
  BYTE Data[1];
} EMRSETICMPROFILE, EMRSETICMPROFILEA, EMRSETICMPROFILEW;
static_assert(sizeof(EMRSETICMPROFILE) == 24);

typedef struct tagEMRCOLORMATCHTOTARGET {
  EMR emr;
  DWORD dwAction;
  DWORD dwFlags;
  DWORD cbName;
  DWORD cbData;
  BYTE Data[1];
} EMRCOLORMATCHTOTARGET;
static_assert(sizeof(EMRCOLORMATCHTOTARGET) == 28);

typedef struct tagEMRFORCEUFIMAPPING {
  EMR emr;
  EMRUNIVERSAL_FONT_ID ufi;
} EMRFORCEUFIMAPPING;
static_assert(sizeof(EMRFORCEUFIMAPPING) == 16);

typedef struct tagEMRSETLINKEDUFIS {
  EMR emr;
  DWORD uNumLinkedUFI;
  EMRUNIVERSAL_FONT_ID ufis[1];
} EMRSETLINKEDUFIS;
static_assert(sizeof(EMRSETLINKEDUFIS) == 20);

typedef struct tagEMRSETTEXTJUSTIFICATION {
  EMR emr;
  INT nBreakExtra;
  INT nBreakCount;
} EMRSETTEXTJUSTIFICATION;
static_assert(sizeof(EMRSETTEXTJUSTIFICATION) == 16);
