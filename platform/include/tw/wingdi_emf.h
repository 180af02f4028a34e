// Enhanced-metafile records: the EMR_* type numbers and the byte-exact record
// layouts of the EMF format (little-endian, 4-byte aligned, x64 Windows
// layouts). Included by wingdi.h after the GDI base structures (XFORM,
// LOGPEN, LOGFONTW, PALETTEENTRY, LOGPALETTE, BITMAPINFOHEADER, ...).
//
// Every record starts with EMR { iType, nSize }; nSize counts the whole
// record and is a multiple of 4. Arrays declared [1] are variable-length:
// their real length comes from a count field and must be checked against
// nSize before use (the player's reader does that).
#pragma once
#include "tw/wintypes.h"

// ---- record types ---------------------------------------------------------
#define EMR_HEADER 1
#define EMR_POLYBEZIER 2
#define EMR_POLYGON 3
#define EMR_POLYLINE 4
#define EMR_POLYBEZIERTO 5
#define EMR_POLYLINETO 6
#define EMR_POLYPOLYLINE 7
#define EMR_POLYPOLYGON 8
#define EMR_SETWINDOWEXTEX 9
#define EMR_SETWINDOWORGEX 10
#define EMR_SETVIEWPORTEXTEX 11
#define EMR_SETVIEWPORTORGEX 12
#define EMR_SETBRUSHORGEX 13
#define EMR_EOF 14
#define EMR_SETPIXELV 15
#define EMR_SETMAPPERFLAGS 16
#define EMR_SETMAPMODE 17
#define EMR_SETBKMODE 18
#define EMR_SETPOLYFILLMODE 19
#define EMR_SETROP2 20
#define EMR_SETSTRETCHBLTMODE 21
#define EMR_SETTEXTALIGN 22
#define EMR_SETCOLORADJUSTMENT 23
#define EMR_SETTEXTCOLOR 24
#define EMR_SETBKCOLOR 25
#define EMR_OFFSETCLIPRGN 26
#define EMR_MOVETOEX 27
#define EMR_SETMETARGN 28
#define EMR_EXCLUDECLIPRECT 29
#define EMR_INTERSECTCLIPRECT 30
#define EMR_SCALEVIEWPORTEXTEX 31
#define EMR_SCALEWINDOWEXTEX 32
#define EMR_SAVEDC 33
#define EMR_RESTOREDC 34
#define EMR_SETWORLDTRANSFORM 35
#define EMR_MODIFYWORLDTRANSFORM 36
#define EMR_SELECTOBJECT 37
#define EMR_CREATEPEN 38
#define EMR_CREATEBRUSHINDIRECT 39
#define EMR_DELETEOBJECT 40
#define EMR_ANGLEARC 41
#define EMR_ELLIPSE 42
#define EMR_RECTANGLE 43
#define EMR_ROUNDRECT 44
#define EMR_ARC 45
#define EMR_CHORD 46
#define EMR_PIE 47
#define EMR_SELECTPALETTE 48
#define EMR_CREATEPALETTE 49
#define EMR_SETPALETTEENTRIES 50
#define EMR_RESIZEPALETTE 51
#define EMR_REALIZEPALETTE 52
#define EMR_EXTFLOODFILL 53
#define EMR_LINETO 54
#define EMR_ARCTO 55
#define EMR_POLYDRAW 56
#define EMR_SETARCDIRECTION 57
#define EMR_SETMITERLIMIT 58
#define EMR_BEGINPATH 59
#define EMR_ENDPATH 60
#define EMR_CLOSEFIGURE 61
#define EMR_FILLPATH 62
#define EMR_STROKEANDFILLPATH 63
#define EMR_STROKEPATH 64
#define EMR_FLATTENPATH 65
#define EMR_WIDENPATH 66
#define EMR_SELECTCLIPPATH 67
#define EMR_ABORTPATH 68
#define EMR_GDICOMMENT 70
#define EMR_FILLRGN 71
#define EMR_FRAMERGN 72
#define EMR_INVERTRGN 73
#define EMR_PAINTRGN 74
#define EMR_EXTSELECTCLIPRGN 75
#define EMR_BITBLT 76
#define EMR_STRETCHBLT 77
#define EMR_MASKBLT 78
#define EMR_PLGBLT 79
#define EMR_SETDIBITSTODEVICE 80
#define EMR_STRETCHDIBITS 81
#define EMR_EXTCREATEFONTINDIRECTW 82
#define EMR_EXTTEXTOUTA 83
#define EMR_EXTTEXTOUTW 84
#define EMR_POLYBEZIER16 85
#define EMR_POLYGON16 86
#define EMR_POLYLINE16 87
#define EMR_POLYBEZIERTO16 88
#define EMR_POLYLINETO16 89
#define EMR_POLYPOLYLINE16 90
#define EMR_POLYPOLYGON16 91
#define EMR_POLYDRAW16 92
#define EMR_CREATEMONOBRUSH 93
#define EMR_CREATEDIBPATTERNBRUSHPT 94
#define EMR_EXTCREATEPEN 95
#define EMR_POLYTEXTOUTA 96
#define EMR_POLYTEXTOUTW 97
#define EMR_SETICMMODE 98
#define EMR_CREATECOLORSPACE 99
#define EMR_SETCOLORSPACE 100
#define EMR_DELETECOLORSPACE 101
#define EMR_GLSRECORD 102
#define EMR_GLSBOUNDEDRECORD 103
#define EMR_PIXELFORMAT 104
#define EMR_DRAWESCAPE 105
#define EMR_EXTESCAPE 106
#define EMR_SMALLTEXTOUT 108
#define EMR_FORCEUFIMAPPING 109
#define EMR_NAMEDESCAPE 110
#define EMR_COLORCORRECTPALETTE 111
#define EMR_SETICMPROFILEA 112
#define EMR_SETICMPROFILEW 113
#define EMR_ALPHABLEND 114
#define EMR_SETLAYOUT 115
#define EMR_TRANSPARENTBLT 116
#define EMR_GRADIENTFILL 118
#define EMR_SETLINKEDUFIS 119
#define EMR_SETTEXTJUSTIFICATION 120
#define EMR_COLORMATCHTOTARGETW 121
#define EMR_CREATECOLORSPACEW 122
#define EMR_MIN 1
#define EMR_MAX 122

#define ENHMETA_SIGNATURE 0x464D4520  // " EMF"
#define ENHMETA_STOCK_OBJECT 0x80000000

// EMR_GDICOMMENT identifiers (first DWORD of the comment data).
#define GDICOMMENT_IDENTIFIER 0x43494447  // "GDIC": public comments
#define GDICOMMENT_WINDOWS_METAFILE 0x80000001
#define GDICOMMENT_BEGINGROUP 0x00000002
#define GDICOMMENT_ENDGROUP 0x00000003
#define GDICOMMENT_MULTIFORMATS 0x40000004
#define GDICOMMENT_UNICODE_STRING 0x00000040
#define GDICOMMENT_UNICODE_END 0x00000080
#define EMR_COMMENT_EMFPLUS_IDENTIFIER 0x2B464D45  // "EMF+"
#define EMR_COMMENT_EMFSPOOL_IDENTIFIER 0x00000000  // followed by "FNOT"
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

typedef struct tagENHMETARECORD {
  DWORD iType;
  DWORD nSize;
  DWORD dParm[1];
} ENHMETARECORD, *PENHMETARECORD, *LPENHMETARECORD;
static_assert(sizeof(ENHMETARECORD) == 12);

// The header record. Files written before the pixel-format and micrometre
// extensions have nSize 88 (no cbPixelFormat...) or 100 (no szlMicrometers);
// a description string may start where a later field would lie.
typedef struct tagENHMETAHEADER {
  DWORD iType;
  DWORD nSize;
  RECTL rclBounds;  // inclusive, reference-device pixels
  RECTL rclFrame;   // inclusive, 0.01 mm
  DWORD dSignature;
  DWORD nVersion;
  DWORD nBytes;
  DWORD nRecords;
  WORD nHandles;
  WORD sReserved;
  DWORD nDescription;
  DWORD offDescription;
  DWORD nPalEntries;
  SIZEL szlDevice;
  SIZEL szlMillimeters;
  DWORD cbPixelFormat;
  DWORD offPixelFormat;
  DWORD bOpenGL;
  SIZEL szlMicrometers;
} ENHMETAHEADER, *PENHMETAHEADER, *LPENHMETAHEADER;
static_assert(sizeof(ENHMETAHEADER) == 108);
static_assert(offsetof(ENHMETAHEADER, rclBounds) == 8 && offsetof(ENHMETAHEADER, rclFrame) == 24);
static_assert(offsetof(ENHMETAHEADER, dSignature) == 40 && offsetof(ENHMETAHEADER, nBytes) == 48);
static_assert(offsetof(ENHMETAHEADER, nHandles) == 56 && offsetof(ENHMETAHEADER, nDescription) == 60);
static_assert(offsetof(ENHMETAHEADER, nPalEntries) == 68 && offsetof(ENHMETAHEADER, szlDevice) == 72);
static_assert(offsetof(ENHMETAHEADER, szlMillimeters) == 80 && offsetof(ENHMETAHEADER, cbPixelFormat) == 88);
static_assert(offsetof(ENHMETAHEADER, bOpenGL) == 96 && offsetof(ENHMETAHEADER, szlMicrometers) == 100);
#define ENHMETAHEADER_SIZE_BASE 88
#define ENHMETAHEADER_SIZE_PIXELFORMAT 100
#define ENHMETAHEADER_SIZE_MICROMETERS 108

// Pen and brush forms stored in records (32-bit hatch fields, unlike the
// pointer-sized fields of the in-memory LOGBRUSH/EXTLOGPEN on x64).
typedef struct tagLOGBRUSH32 {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG lbHatch;
} LOGBRUSH32, *PLOGBRUSH32;
static_assert(sizeof(LOGBRUSH32) == 12);

typedef struct tagEXTLOGPEN32 {
  DWORD elpPenStyle;
  DWORD elpWidth;
  UINT elpBrushStyle;
  COLORREF elpColor;
  ULONG elpHatch;
  DWORD elpNumEntries;
  DWORD elpStyleEntry[1];
} EXTLOGPEN32, *PEXTLOGPEN32;
static_assert(sizeof(EXTLOGPEN32) == 28 && offsetof(EXTLOGPEN32, elpStyleEntry) == 24);

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

typedef struct tagEMRCOLORADJUSTMENT {
  WORD caSize, caFlags, caIlluminantIndex, caRedGamma, caGreenGamma, caBlueGamma;
  WORD caReferenceBlack, caReferenceWhite;
  SHORT caContrast, caBrightness, caColorfulness, caRedGreenTint;
} EMRCOLORADJUSTMENT;
static_assert(sizeof(EMRCOLORADJUSTMENT) == 24);

typedef struct tagEMRUNIVERSAL_FONT_ID {
  ULONG CheckSum;
  ULONG Index;
} EMRUNIVERSAL_FONT_ID;
static_assert(sizeof(EMRUNIVERSAL_FONT_ID) == 8);

typedef struct tagEMRTRIVERTEX {
  LONG x, y;
  USHORT Red, Green, Blue, Alpha;
} EMRTRIVERTEX;
static_assert(sizeof(EMRTRIVERTEX) == 16);

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
  EMRCOLORADJUSTMENT ColorAdjustment;
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
  EMRTRIVERTEX Ver[1];  // nVer vertices, then nTri GRADIENT_TRIANGLE or GRADIENT_RECT
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
