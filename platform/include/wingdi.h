// GDI: device contexts, drawing objects, bitmaps and DIBs, blits, regions,
// palettes, enhanced metafiles and text, with the Win32 names, constants and
// x64 record layouts. Records that other programs read (DIB headers, LOGFONTW,
// DEVMODEW, ENHMETAHEADER ...) are byte-exact and checked below.
#pragma once
#include "tw/wintypes.h"

// ---------------------------------------------------------------------------
// Colours
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define PALETTERGB(r, g, b) (0x02000000 | RGB(r, g, b))
#define PALETTEINDEX(i) ((COLORREF)(0x01000000 | (DWORD)(WORD)(i)))
#define GetRValue(rgb) (LOBYTE(rgb))
#define GetGValue(rgb) (LOBYTE(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) (LOBYTE((rgb) >> 16))
#define CLR_INVALID 0xFFFFFFFF
#define GDI_ERROR 0xFFFFFFFFL
#define HGDI_ERROR ((HANDLE)(LONG_PTR)-1)

// Region results and combination modes
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_ERROR ERROR
#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5
#define RGN_MIN RGN_AND
#define RGN_MAX RGN_COPY
#define RDH_RECTANGLES 1

// Object types (GetObjectType, GetCurrentObject)
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_METADC 4
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_METAFILE 9
#define OBJ_MEMDC 10
#define OBJ_EXTPEN 11
#define OBJ_ENHMETADC 12
#define OBJ_ENHMETAFILE 13
#define OBJ_COLORSPACE 14

// Stock objects
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19
#define STOCK_LAST 19

// Binary raster operations (SetROP2)
#define R2_BLACK 1
#define R2_NOTMERGEPEN 2
#define R2_MASKNOTPEN 3
#define R2_NOTCOPYPEN 4
#define R2_MASKPENNOT 5
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOTMASKPEN 8
#define R2_MASKPEN 9
#define R2_NOTXORPEN 10
#define R2_NOP 11
#define R2_MERGENOTPEN 12
#define R2_COPYPEN 13
#define R2_MERGEPENNOT 14
#define R2_MERGEPEN 15
#define R2_WHITE 16
#define R2_LAST 16

// Ternary raster operations
#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGECOPY 0x00C000CA
#define MERGEPAINT 0x00BB0226
#define PATCOPY 0x00F00021
#define PATPAINT 0x00FB0A09
#define PATINVERT 0x005A0049
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062
#define NOMIRRORBITMAP 0x80000000
#define CAPTUREBLT 0x40000000
#define MAKEROP4(fore, back) (DWORD)((((back) << 8) & 0xFF000000) | (fore))

// Background modes, fill modes, graphics modes, mapping modes
#define TRANSPARENT 1
#define OPAQUE 2
#define BKMODE_LAST 2
#define ALTERNATE 1
#define WINDING 2
#define POLYFILL_LAST 2
#define GM_COMPATIBLE 1
#define GM_ADVANCED 2
#define GM_LAST 2
#define MM_TEXT 1
#define MM_LOMETRIC 2
#define MM_HIMETRIC 3
#define MM_LOENGLISH 4
#define MM_HIENGLISH 5
#define MM_TWIPS 6
#define MM_ISOTROPIC 7
#define MM_ANISOTROPIC 8
#define MM_MIN MM_TEXT
#define MM_MAX MM_ANISOTROPIC
#define MWT_IDENTITY 1
#define MWT_LEFTMULTIPLY 2
#define MWT_RIGHTMULTIPLY 3
#define MWT_SET 4
#define ABSOLUTE 1
#define RELATIVE 2
#define AD_COUNTERCLOCKWISE 1
#define AD_CLOCKWISE 2
#define LAYOUT_RTL 0x00000001
#define LAYOUT_BITMAPORIENTATIONPRESERVED 0x00000008

// Stretch modes
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define STRETCH_ANDSCANS BLACKONWHITE
#define STRETCH_ORSCANS WHITEONBLACK
#define STRETCH_DELETESCANS COLORONCOLOR
#define STRETCH_HALFTONE HALFTONE
#define MAXSTRETCHBLTMODE 4

// Pens
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
#define PS_USERSTYLE 7
#define PS_ALTERNATE 8
#define PS_STYLE_MASK 0x0000000F
#define PS_ENDCAP_ROUND 0x00000000
#define PS_ENDCAP_SQUARE 0x00000100
#define PS_ENDCAP_FLAT 0x00000200
#define PS_ENDCAP_MASK 0x00000F00
#define PS_JOIN_ROUND 0x00000000
#define PS_JOIN_BEVEL 0x00001000
#define PS_JOIN_MITER 0x00002000
#define PS_JOIN_MASK 0x0000F000
#define PS_COSMETIC 0x00000000
#define PS_GEOMETRIC 0x00010000
#define PS_TYPE_MASK 0x000F0000

// Brushes
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
#define BS_INDEXED 4
#define BS_DIBPATTERN 5
#define BS_DIBPATTERNPT 6
#define BS_PATTERN8X8 7
#define BS_DIBPATTERN8X8 8
#define BS_MONOPATTERN 9
#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5
#define HS_API_MAX 12

// Flood fill
#define FLOODFILLBORDER 0
#define FLOODFILLSURFACE 1

// PolyDraw point types
#define PT_CLOSEFIGURE 0x01
#define PT_LINETO 0x02
#define PT_BEZIERTO 0x04
#define PT_MOVETO 0x06

// Bitmaps and DIBs
#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L
#define BI_JPEG 4L
#define BI_PNG 5L
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1
#define CBM_INIT 0x04L
#define LCS_CALIBRATED_RGB 0x00000000L
#define LCS_sRGB 0x73524742L
#define LCS_WINDOWS_COLOR_SPACE 0x57696E20L
#define PROFILE_LINKED 0x4C494E4BL
#define PROFILE_EMBEDDED 0x4D424544L
#define LCS_GM_BUSINESS 0x00000001L
#define LCS_GM_GRAPHICS 0x00000002L
#define LCS_GM_IMAGES 0x00000004L
#define LCS_GM_ABS_COLORIMETRIC 0x00000008L

// AlphaBlend
#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

// Gradient fills
#define GRADIENT_FILL_RECT_H 0x00000000
#define GRADIENT_FILL_RECT_V 0x00000001
#define GRADIENT_FILL_TRIANGLE 0x00000002
#define GRADIENT_FILL_OP_FLAG 0x000000FF

// Palettes
#define PC_RESERVED 0x01
#define PC_EXPLICIT 0x02
#define PC_NOCOLLAPSE 0x04
#define SYSPAL_ERROR 0
#define SYSPAL_STATIC 1
#define SYSPAL_NOSTATIC 2
#define SYSPAL_NOSTATIC256 3

// Text alignment and ExtTextOut options
#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24
#define TA_RTLREADING 256
#define TA_MASK (TA_BASELINE + TA_CENTER + TA_UPDATECP + TA_RTLREADING)
#define VTA_BASELINE TA_BASELINE
#define VTA_LEFT TA_BOTTOM
#define VTA_RIGHT TA_TOP
#define VTA_CENTER TA_CENTER
#define VTA_BOTTOM TA_RIGHT
#define VTA_TOP TA_LEFT
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
#define ETO_GLYPH_INDEX 0x0010
#define ETO_RTLREADING 0x0080
#define ETO_NUMERICSLOCAL 0x0400
#define ETO_NUMERICSLATIN 0x0800
#define ETO_IGNORELANGUAGE 0x1000
#define ETO_PDY 0x2000
#define ETO_REVERSE_INDEX_MAP 0x10000

// DrawTextW formats
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_TABSTOP 0x00000080
#define DT_NOCLIP 0x00000100
#define DT_EXTERNALLEADING 0x00000200
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_INTERNAL 0x00001000
#define DT_EDITCONTROL 0x00002000
#define DT_PATH_ELLIPSIS 0x00004000
#define DT_END_ELLIPSIS 0x00008000
#define DT_MODIFYSTRING 0x00010000
#define DT_RTLREADING 0x00020000
#define DT_WORD_ELLIPSIS 0x00040000
#define DT_NOFULLWIDTHCHARBREAK 0x00080000
#define DT_HIDEPREFIX 0x00100000
#define DT_PREFIXONLY 0x00200000

// Fonts
#define LF_FACESIZE 32
#define LF_FULLFACESIZE 64
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_EXTRALIGHT 200
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_REGULAR 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_EXTRABOLD 800
#define FW_HEAVY 900
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define SHIFTJIS_CHARSET 128
#define HANGUL_CHARSET 129
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136
#define OEM_CHARSET 255
#define JOHAB_CHARSET 130
#define HEBREW_CHARSET 177
#define ARABIC_CHARSET 178
#define GREEK_CHARSET 161
#define TURKISH_CHARSET 162
#define VIETNAMESE_CHARSET 163
#define THAI_CHARSET 222
#define EASTEUROPE_CHARSET 238
#define RUSSIAN_CHARSET 204
#define MAC_CHARSET 77
#define BALTIC_CHARSET 186
#define OUT_DEFAULT_PRECIS 0
#define OUT_STRING_PRECIS 1
#define OUT_CHARACTER_PRECIS 2
#define OUT_STROKE_PRECIS 3
#define OUT_TT_PRECIS 4
#define OUT_DEVICE_PRECIS 5
#define OUT_RASTER_PRECIS 6
#define OUT_TT_ONLY_PRECIS 7
#define OUT_OUTLINE_PRECIS 8
#define OUT_SCREEN_OUTLINE_PRECIS 9
#define OUT_PS_ONLY_PRECIS 10
#define CLIP_DEFAULT_PRECIS 0
#define CLIP_CHARACTER_PRECIS 1
#define CLIP_STROKE_PRECIS 2
#define CLIP_MASK 0xf
#define CLIP_LH_ANGLES (1 << 4)
#define CLIP_TT_ALWAYS (2 << 4)
#define CLIP_EMBEDDED (8 << 4)
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define CLEARTYPE_NATURAL_QUALITY 6
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define MONO_FONT 8
#define FF_DONTCARE (0 << 4)
#define FF_ROMAN (1 << 4)
#define FF_SWISS (2 << 4)
#define FF_MODERN (3 << 4)
#define FF_SCRIPT (4 << 4)
#define FF_DECORATIVE (5 << 4)
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_DEVICE 0x08
#define TMPF_TRUETYPE 0x04
#define RASTER_FONTTYPE 0x0001
#define DEVICE_FONTTYPE 0x0002
#define TRUETYPE_FONTTYPE 0x0004
#define GGI_MARK_NONEXISTING_GLYPHS 0x0001
#define FR_PRIVATE 0x10
#define FR_NOT_ENUM 0x20

// Device capabilities (GetDeviceCaps)
#define DRIVERVERSION 0
#define TECHNOLOGY 2
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMBRUSHES 16
#define NUMPENS 18
#define NUMMARKERS 20
#define NUMFONTS 22
#define NUMCOLORS 24
#define PDEVICESIZE 26
#define CURVECAPS 28
#define LINECAPS 30
#define POLYGONALCAPS 32
#define TEXTCAPS 34
#define CLIPCAPS 36
#define RASTERCAPS 38
#define ASPECTX 40
#define ASPECTY 42
#define ASPECTXY 44
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define SIZEPALETTE 104
#define NUMRESERVED 106
#define COLORRES 108
#define PHYSICALWIDTH 110
#define PHYSICALHEIGHT 111
#define PHYSICALOFFSETX 112
#define PHYSICALOFFSETY 113
#define SCALINGFACTORX 114
#define SCALINGFACTORY 115
#define VREFRESH 116
#define DESKTOPVERTRES 117
#define DESKTOPHORZRES 118
#define BLTALIGNMENT 119
#define SHADEBLENDCAPS 120
#define COLORMGMTCAPS 121
#define DT_PLOTTER 0
#define DT_RASDISPLAY 1
#define DT_RASPRINTER 2
#define DT_RASCAMERA 3
#define DT_CHARSTREAM 4
#define DT_METAFILE 5
#define DT_DISPFILE 6
#define CC_NONE 0
#define CC_CIRCLES 1
#define CC_PIE 2
#define CC_CHORD 4
#define CC_ELLIPSES 8
#define CC_WIDE 16
#define CC_STYLED 32
#define CC_WIDESTYLED 64
#define CC_INTERIORS 128
#define CC_ROUNDRECT 256
#define LC_NONE 0
#define LC_POLYLINE 2
#define LC_MARKER 4
#define LC_POLYMARKER 8
#define LC_WIDE 16
#define LC_STYLED 32
#define LC_WIDESTYLED 64
#define LC_INTERIORS 128
#define PC_NONE 0
#define PC_POLYGON 1
#define PC_RECTANGLE 2
#define PC_WINDPOLYGON 4
#define PC_TRAPEZOID 4
#define PC_SCANLINE 8
#define PC_WIDE 16
#define PC_STYLED 32
#define PC_WIDESTYLED 64
#define PC_INTERIORS 128
#define PC_POLYPOLYGON 256
#define PC_PATHS 512
#define CP_NONE 0
#define CP_RECTANGLE 1
#define CP_REGION 2
#define TC_OP_CHARACTER 0x00000001
#define TC_OP_STROKE 0x00000002
#define TC_CP_STROKE 0x00000004
#define TC_CR_90 0x00000008
#define TC_CR_ANY 0x00000010
#define TC_SF_X_YINDEP 0x00000020
#define TC_SA_DOUBLE 0x00000040
#define TC_SA_INTEGER 0x00000080
#define TC_SA_CONTIN 0x00000100
#define TC_EA_DOUBLE 0x00000200
#define TC_IA_ABLE 0x00000400
#define TC_UA_ABLE 0x00000800
#define TC_SO_ABLE 0x00001000
#define TC_RA_ABLE 0x00002000
#define TC_VA_ABLE 0x00004000
#define RC_BITBLT 1
#define RC_BANDING 2
#define RC_SCALING 4
#define RC_BITMAP64 8
#define RC_GDI20_OUTPUT 0x0010
#define RC_GDI20_STATE 0x0020
#define RC_SAVEBITMAP 0x0040
#define RC_DI_BITMAP 0x0080
#define RC_PALETTE 0x0100
#define RC_DIBTODEV 0x0200
#define RC_BIGFONT 0x0400
#define RC_STRETCHBLT 0x0800
#define RC_FLOODFILL 0x1000
#define RC_STRETCHDIB 0x2000
#define RC_OP_DX_OUTPUT 0x4000
#define RC_DEVBITS 0x8000
#define SB_NONE 0x00000000
#define SB_CONST_ALPHA 0x00000001
#define SB_PIXEL_ALPHA 0x00000002
#define SB_PREMULT_ALPHA 0x00000004
#define SB_GRAD_RECT 0x00000010
#define SB_GRAD_TRI 0x00000020

// DEVMODE fields and values
#define CCHDEVICENAME 32
#define CCHFORMNAME 32
#define DM_SPECVERSION 0x0401
#define DM_ORIENTATION 0x00000001L
#define DM_PAPERSIZE 0x00000002L
#define DM_PAPERLENGTH 0x00000004L
#define DM_PAPERWIDTH 0x00000008L
#define DM_SCALE 0x00000010L
#define DM_POSITION 0x00000020L
#define DM_NUP 0x00000040L
#define DM_DISPLAYORIENTATION 0x00000080L
#define DM_COPIES 0x00000100L
#define DM_DEFAULTSOURCE 0x00000200L
#define DM_PRINTQUALITY 0x00000400L
#define DM_COLOR 0x00000800L
#define DM_DUPLEX 0x00001000L
#define DM_YRESOLUTION 0x00002000L
#define DM_TTOPTION 0x00004000L
#define DM_COLLATE 0x00008000L
#define DM_FORMNAME 0x00010000L
#define DM_LOGPIXELS 0x00020000L
#define DM_BITSPERPEL 0x00040000L
#define DM_PELSWIDTH 0x00080000L
#define DM_PELSHEIGHT 0x00100000L
#define DM_DISPLAYFLAGS 0x00200000L
#define DM_DISPLAYFREQUENCY 0x00400000L
#define DM_ICMMETHOD 0x00800000L
#define DM_ICMINTENT 0x01000000L
#define DM_MEDIATYPE 0x02000000L
#define DM_DITHERTYPE 0x04000000L
#define DM_PANNINGWIDTH 0x08000000L
#define DM_PANNINGHEIGHT 0x10000000L
#define DM_DISPLAYFIXEDOUTPUT 0x20000000L
#define DMORIENT_PORTRAIT 1
#define DMORIENT_LANDSCAPE 2
#define DMRES_DRAFT (-1)
#define DMRES_LOW (-2)
#define DMRES_MEDIUM (-3)
#define DMRES_HIGH (-4)
#define DMCOLOR_MONOCHROME 1
#define DMCOLOR_COLOR 2
#define DMDUP_SIMPLEX 1
#define DMDUP_VERTICAL 2
#define DMDUP_HORIZONTAL 3
#define DMCOLLATE_FALSE 0
#define DMCOLLATE_TRUE 1
#define DMPAPER_LETTER 1
#define DMPAPER_LETTERSMALL 2
#define DMPAPER_TABLOID 3
#define DMPAPER_LEDGER 4
#define DMPAPER_LEGAL 5
#define DMPAPER_STATEMENT 6
#define DMPAPER_EXECUTIVE 7
#define DMPAPER_A3 8
#define DMPAPER_A4 9
#define DMPAPER_A4SMALL 10
#define DMPAPER_A5 11
#define DMPAPER_B4 12
#define DMPAPER_B5 13
#define DMPAPER_FOLIO 14
#define DMPAPER_QUARTO 15
#define DMPAPER_10X14 16
#define DMPAPER_11X17 17
#define DMPAPER_NOTE 18
#define DMPAPER_ENV_9 19
#define DMPAPER_ENV_10 20
#define DMPAPER_ENV_11 21
#define DMPAPER_ENV_12 22
#define DMPAPER_ENV_14 23
#define DMPAPER_CSHEET 24
#define DMPAPER_DSHEET 25
#define DMPAPER_ESHEET 26
#define DMPAPER_ENV_DL 27
#define DMPAPER_ENV_C5 28
#define DMPAPER_ENV_C3 29
#define DMPAPER_ENV_C4 30
#define DMPAPER_ENV_C6 31
#define DMPAPER_ENV_C65 32
#define DMPAPER_ENV_B4 33
#define DMPAPER_ENV_B5 34
#define DMPAPER_ENV_B6 35
#define DMPAPER_ENV_ITALY 36
#define DMPAPER_ENV_MONARCH 37
#define DMPAPER_ENV_PERSONAL 38
#define DMPAPER_FANFOLD_US 39
#define DMPAPER_FANFOLD_STD_GERMAN 40
#define DMPAPER_FANFOLD_LGL_GERMAN 41
#define DMPAPER_ISO_B4 42
#define DMPAPER_JAPANESE_POSTCARD 43
#define DMPAPER_A4_TRANSVERSE 55
#define DMPAPER_LETTER_TRANSVERSE 54
#define DMPAPER_A_PLUS 57
#define DMPAPER_B_PLUS 58
#define DMPAPER_LETTER_PLUS 59
#define DMPAPER_A4_PLUS 60
#define DMPAPER_A5_TRANSVERSE 61
#define DMPAPER_A3_EXTRA 63
#define DMPAPER_A3_TRANSVERSE 67
#define DMPAPER_A2 66
#define DMPAPER_A6 70
#define DMPAPER_B6_JIS 88

// Enhanced metafiles
#define ENHMETA_SIGNATURE 0x464D4520
#define ENHMETA_STOCK_OBJECT 0x80000000
#define GDICOMMENT_IDENTIFIER 0x43494447
#define GDICOMMENT_WINDOWS_METAFILE 0x80000001
#define GDICOMMENT_BEGINGROUP 0x00000002
#define GDICOMMENT_ENDGROUP 0x00000003
#define GDICOMMENT_MULTIFORMATS 0x40000004
#define EPS_SIGNATURE 0x46535045
#define GDICOMMENT_UNICODE_STRING 0x00000040
#define GDICOMMENT_UNICODE_END 0x00000080

// EMF record types
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

// ---------------------------------------------------------------------------
// Records

typedef struct tagLOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;
  COLORREF lopnColor;
} LOGPEN, *PLOGPEN, *LPLOGPEN;
static_assert(sizeof(LOGPEN) == 16 && offsetof(LOGPEN, lopnColor) == 12);

typedef struct tagEXTLOGPEN {
  DWORD elpPenStyle;
  DWORD elpWidth;
  UINT elpBrushStyle;
  COLORREF elpColor;
  ULONG_PTR elpHatch;
  DWORD elpNumEntries;
  DWORD elpStyleEntry[1];
} EXTLOGPEN, *PEXTLOGPEN, *LPEXTLOGPEN;
static_assert(sizeof(EXTLOGPEN) == 32 && offsetof(EXTLOGPEN, elpHatch) == 16 &&
              offsetof(EXTLOGPEN, elpNumEntries) == 24 && offsetof(EXTLOGPEN, elpStyleEntry) == 28);

// The metafile form (32-bit hatch field).
typedef struct tagEXTLOGPEN32 {
  DWORD elpPenStyle;
  DWORD elpWidth;
  UINT elpBrushStyle;
  COLORREF elpColor;
  ULONG elpHatch;
  DWORD elpNumEntries;
  DWORD elpStyleEntry[1];
} EXTLOGPEN32, *PEXTLOGPEN32;
static_assert(sizeof(EXTLOGPEN32) == 28);

typedef struct tagLOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
} LOGBRUSH, *PLOGBRUSH, *LPLOGBRUSH, PATTERN, *PPATTERN;
static_assert(sizeof(LOGBRUSH) == 16 && offsetof(LOGBRUSH, lbHatch) == 8);

typedef struct tagLOGBRUSH32 {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG lbHatch;
} LOGBRUSH32, *PLOGBRUSH32;
static_assert(sizeof(LOGBRUSH32) == 12);

typedef struct tagLOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *PLOGFONTW, *LPLOGFONTW;
static_assert(sizeof(LOGFONTW) == 92 && offsetof(LOGFONTW, lfItalic) == 20 &&
              offsetof(LOGFONTW, lfQuality) == 26 && offsetof(LOGFONTW, lfFaceName) == 28);

typedef struct tagLOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA, *PLOGFONTA, *LPLOGFONTA;
static_assert(sizeof(LOGFONTA) == 60);

typedef struct tagENUMLOGFONTEXW {
  LOGFONTW elfLogFont;
  WCHAR elfFullName[LF_FULLFACESIZE];
  WCHAR elfStyle[LF_FACESIZE];
  WCHAR elfScript[LF_FACESIZE];
} ENUMLOGFONTEXW, *LPENUMLOGFONTEXW;
static_assert(sizeof(ENUMLOGFONTEXW) == 348);

typedef struct tagTEXTMETRICW {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  WCHAR tmFirstChar;
  WCHAR tmLastChar;
  WCHAR tmDefaultChar;
  WCHAR tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
} TEXTMETRICW, *PTEXTMETRICW, *LPTEXTMETRICW;
static_assert(sizeof(TEXTMETRICW) == 60 && offsetof(TEXTMETRICW, tmItalic) == 52);

typedef struct tagTEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
} TEXTMETRICA, *PTEXTMETRICA, *LPTEXTMETRICA;
static_assert(sizeof(TEXTMETRICA) == 56);

typedef struct tagNEWTEXTMETRICW {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  WCHAR tmFirstChar;
  WCHAR tmLastChar;
  WCHAR tmDefaultChar;
  WCHAR tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
  DWORD ntmFlags;
  UINT ntmSizeEM;
  UINT ntmCellHeight;
  UINT ntmAvgWidth;
} NEWTEXTMETRICW, *LPNEWTEXTMETRICW;
static_assert(sizeof(NEWTEXTMETRICW) == 76);

typedef struct tagABC {
  int abcA;
  UINT abcB;
  int abcC;
} ABC, *PABC, *LPABC;
static_assert(sizeof(ABC) == 12);

typedef struct tagWCRANGE {
  WCHAR wcLow;
  USHORT cGlyphs;
} WCRANGE, *PWCRANGE, *LPWCRANGE;

typedef struct tagGLYPHSET {
  DWORD cbThis;
  DWORD flAccel;
  DWORD cGlyphsSupported;
  DWORD cRanges;
  WCRANGE ranges[1];
} GLYPHSET, *PGLYPHSET, *LPGLYPHSET;
static_assert(sizeof(GLYPHSET) == 20);

typedef struct tagPOLYTEXTW {
  int x;
  int y;
  UINT n;
  LPCWSTR lpstr;
  UINT uiFlags;
  RECT rcl;
  int *pdx;
} POLYTEXTW, *PPOLYTEXTW, *LPPOLYTEXTW;
static_assert(sizeof(POLYTEXTW) == 56);

typedef struct tagPOLYTEXTA {
  int x;
  int y;
  UINT n;
  LPCSTR lpstr;
  UINT uiFlags;
  RECT rcl;
  int *pdx;
} POLYTEXTA, *PPOLYTEXTA, *LPPOLYTEXTA;

typedef struct tagBITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;
static_assert(sizeof(BITMAP) == 32 && offsetof(BITMAP, bmBits) == 24);

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
} BITMAPFILEHEADER, *PBITMAPFILEHEADER, *LPBITMAPFILEHEADER;
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14 && offsetof(BITMAPFILEHEADER, bfOffBits) == 10);

typedef struct tagBITMAPCOREHEADER {
  DWORD bcSize;
  WORD bcWidth;
  WORD bcHeight;
  WORD bcPlanes;
  WORD bcBitCount;
} BITMAPCOREHEADER, *PBITMAPCOREHEADER, *LPBITMAPCOREHEADER;
static_assert(sizeof(BITMAPCOREHEADER) == 12);

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;
static_assert(sizeof(BITMAPINFOHEADER) == 40 && offsetof(BITMAPINFOHEADER, biCompression) == 16 &&
              offsetof(BITMAPINFOHEADER, biClrUsed) == 32);

typedef LONG FXPT16DOT16, *LPFXPT16DOT16;
typedef LONG FXPT2DOT30, *LPFXPT2DOT30;
typedef struct tagCIEXYZ {
  FXPT2DOT30 ciexyzX;
  FXPT2DOT30 ciexyzY;
  FXPT2DOT30 ciexyzZ;
} CIEXYZ, *LPCIEXYZ;
typedef struct tagCIEXYZTRIPLE {
  CIEXYZ ciexyzRed;
  CIEXYZ ciexyzGreen;
  CIEXYZ ciexyzBlue;
} CIEXYZTRIPLE, *LPCIEXYZTRIPLE;
static_assert(sizeof(CIEXYZTRIPLE) == 36);

typedef struct {
  DWORD bV4Size;
  LONG bV4Width;
  LONG bV4Height;
  WORD bV4Planes;
  WORD bV4BitCount;
  DWORD bV4V4Compression;
  DWORD bV4SizeImage;
  LONG bV4XPelsPerMeter;
  LONG bV4YPelsPerMeter;
  DWORD bV4ClrUsed;
  DWORD bV4ClrImportant;
  DWORD bV4RedMask;
  DWORD bV4GreenMask;
  DWORD bV4BlueMask;
  DWORD bV4AlphaMask;
  DWORD bV4CSType;
  CIEXYZTRIPLE bV4Endpoints;
  DWORD bV4GammaRed;
  DWORD bV4GammaGreen;
  DWORD bV4GammaBlue;
} BITMAPV4HEADER, *LPBITMAPV4HEADER, *PBITMAPV4HEADER;
static_assert(sizeof(BITMAPV4HEADER) == 108 && offsetof(BITMAPV4HEADER, bV4RedMask) == 40);

typedef struct {
  DWORD bV5Size;
  LONG bV5Width;
  LONG bV5Height;
  WORD bV5Planes;
  WORD bV5BitCount;
  DWORD bV5Compression;
  DWORD bV5SizeImage;
  LONG bV5XPelsPerMeter;
  LONG bV5YPelsPerMeter;
  DWORD bV5ClrUsed;
  DWORD bV5ClrImportant;
  DWORD bV5RedMask;
  DWORD bV5GreenMask;
  DWORD bV5BlueMask;
  DWORD bV5AlphaMask;
  DWORD bV5CSType;
  CIEXYZTRIPLE bV5Endpoints;
  DWORD bV5GammaRed;
  DWORD bV5GammaGreen;
  DWORD bV5GammaBlue;
  DWORD bV5Intent;
  DWORD bV5ProfileData;
  DWORD bV5ProfileSize;
  DWORD bV5Reserved;
} BITMAPV5HEADER, *LPBITMAPV5HEADER, *PBITMAPV5HEADER;
static_assert(sizeof(BITMAPV5HEADER) == 124);

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD, *LPRGBQUAD;
static_assert(sizeof(RGBQUAD) == 4);

typedef struct tagRGBTRIPLE {
  BYTE rgbtBlue;
  BYTE rgbtGreen;
  BYTE rgbtRed;
} RGBTRIPLE, *PRGBTRIPLE, *LPRGBTRIPLE;
static_assert(sizeof(RGBTRIPLE) == 3);

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;
static_assert(sizeof(BITMAPINFO) == 44);

typedef struct tagBITMAPCOREINFO {
  BITMAPCOREHEADER bmciHeader;
  RGBTRIPLE bmciColors[1];
} BITMAPCOREINFO, *LPBITMAPCOREINFO, *PBITMAPCOREINFO;

typedef struct tagDIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  HANDLE dshSection;
  DWORD dsOffset;
} DIBSECTION, *LPDIBSECTION, *PDIBSECTION;
static_assert(sizeof(DIBSECTION) == 104 && offsetof(DIBSECTION, dshSection) == 88);

typedef struct tagPALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
} PALETTEENTRY, *PPALETTEENTRY, *LPPALETTEENTRY;
static_assert(sizeof(PALETTEENTRY) == 4);

typedef struct tagLOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
} LOGPALETTE, *PLOGPALETTE, *LPLOGPALETTE;
static_assert(sizeof(LOGPALETTE) == 8);

typedef struct tagXFORM {
  FLOAT eM11;
  FLOAT eM12;
  FLOAT eM21;
  FLOAT eM22;
  FLOAT eDx;
  FLOAT eDy;
} XFORM, *PXFORM, *LPXFORM;
static_assert(sizeof(XFORM) == 24);

typedef struct _RGNDATAHEADER {
  DWORD dwSize;
  DWORD iType;
  DWORD nCount;
  DWORD nRgnSize;
  RECT rcBound;
} RGNDATAHEADER, *PRGNDATAHEADER;
static_assert(sizeof(RGNDATAHEADER) == 32);

typedef struct _RGNDATA {
  RGNDATAHEADER rdh;
  char Buffer[1];
} RGNDATA, *PRGNDATA, *LPRGNDATA;
static_assert(offsetof(RGNDATA, Buffer) == 32);

typedef struct _BLENDFUNCTION {
  BYTE BlendOp;
  BYTE BlendFlags;
  BYTE SourceConstantAlpha;
  BYTE AlphaFormat;
} BLENDFUNCTION, *PBLENDFUNCTION;
static_assert(sizeof(BLENDFUNCTION) == 4);

typedef USHORT COLOR16;
typedef FLOAT *PFLOAT;
typedef struct _TRIVERTEX {
  LONG x;
  LONG y;
  COLOR16 Red;
  COLOR16 Green;
  COLOR16 Blue;
  COLOR16 Alpha;
} TRIVERTEX, *PTRIVERTEX, *LPTRIVERTEX;
static_assert(sizeof(TRIVERTEX) == 16);
typedef struct _GRADIENT_RECT {
  ULONG UpperLeft;
  ULONG LowerRight;
} GRADIENT_RECT, *PGRADIENT_RECT, *LPGRADIENT_RECT;
typedef struct _GRADIENT_TRIANGLE {
  ULONG Vertex1;
  ULONG Vertex2;
  ULONG Vertex3;
} GRADIENT_TRIANGLE, *PGRADIENT_TRIANGLE, *LPGRADIENT_TRIANGLE;
static_assert(sizeof(GRADIENT_RECT) == 8 && sizeof(GRADIENT_TRIANGLE) == 12);

typedef struct tagCOLORADJUSTMENT {
  WORD caSize;
  WORD caFlags;
  WORD caIlluminantIndex;
  WORD caRedGamma;
  WORD caGreenGamma;
  WORD caBlueGamma;
  WORD caReferenceBlack;
  WORD caReferenceWhite;
  SHORT caContrast;
  SHORT caBrightness;
  SHORT caColorfulness;
  SHORT caRedGreenTint;
} COLORADJUSTMENT, *PCOLORADJUSTMENT, *LPCOLORADJUSTMENT;
static_assert(sizeof(COLORADJUSTMENT) == 24);

// DEVMODEW: the 220-byte head of every printer settings record.
#pragma pack(push, 1)
typedef struct _devicemodeW {
  WCHAR dmDeviceName[CCHDEVICENAME];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  union {
    struct {
      short dmOrientation;
      short dmPaperSize;
      short dmPaperLength;
      short dmPaperWidth;
      short dmScale;
      short dmCopies;
      short dmDefaultSource;
      short dmPrintQuality;
    };
    struct {
      POINTL dmPosition;
      DWORD dmDisplayOrientation;
      DWORD dmDisplayFixedOutput;
    };
  };
  short dmColor;
  short dmDuplex;
  short dmYResolution;
  short dmTTOption;
  short dmCollate;
  WCHAR dmFormName[CCHFORMNAME];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  union {
    DWORD dmDisplayFlags;
    DWORD dmNup;
  };
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
} DEVMODEW, *PDEVMODEW, *NPDEVMODEW, *LPDEVMODEW;
#pragma pack(pop)
static_assert(sizeof(DEVMODEW) == 220);
static_assert(offsetof(DEVMODEW, dmFields) == 0x48 && offsetof(DEVMODEW, dmOrientation) == 0x4c &&
              offsetof(DEVMODEW, dmPaperSize) == 0x4e && offsetof(DEVMODEW, dmPaperLength) == 0x50 &&
              offsetof(DEVMODEW, dmPaperWidth) == 0x52 && offsetof(DEVMODEW, dmScale) == 0x54 &&
              offsetof(DEVMODEW, dmPrintQuality) == 0x5a && offsetof(DEVMODEW, dmColor) == 0x5c &&
              offsetof(DEVMODEW, dmYResolution) == 0x60 && offsetof(DEVMODEW, dmFormName) == 0x66 &&
              offsetof(DEVMODEW, dmBitsPerPel) == 0xa8 && offsetof(DEVMODEW, dmPanningHeight) == 0xd8);
typedef DEVMODEW DEVMODE, *PDEVMODE, *LPDEVMODE;

// Enhanced metafiles
typedef struct tagENHMETAHEADER {
  DWORD iType;
  DWORD nSize;
  RECTL rclBounds;
  RECTL rclFrame;
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
static_assert(sizeof(ENHMETAHEADER) == 108 && offsetof(ENHMETAHEADER, dSignature) == 40 &&
              offsetof(ENHMETAHEADER, nBytes) == 48 && offsetof(ENHMETAHEADER, nHandles) == 56 &&
              offsetof(ENHMETAHEADER, nPalEntries) == 68 && offsetof(ENHMETAHEADER, szlDevice) == 72 &&
              offsetof(ENHMETAHEADER, szlMillimeters) == 80 && offsetof(ENHMETAHEADER, szlMicrometers) == 100);

typedef struct tagENHMETARECORD {
  DWORD iType;
  DWORD nSize;
  DWORD dParm[1];
} ENHMETARECORD, *PENHMETARECORD, *LPENHMETARECORD;
static_assert(sizeof(ENHMETARECORD) == 12);

typedef struct tagHANDLETABLE {
  HGDIOBJ objectHandle[1];
} HANDLETABLE, *PHANDLETABLE, *LPHANDLETABLE;

typedef int(CALLBACK *ENHMFENUMPROC)(HDC hdc, HANDLETABLE *lpht, CONST ENHMETARECORD *lpmr, int nHandles,
                                     LPARAM data);

typedef int(CALLBACK *FONTENUMPROCW)(CONST LOGFONTW *, CONST TEXTMETRICW *, DWORD, LPARAM);
typedef VOID(CALLBACK *LINEDDAPROC)(int, int, LPARAM);

#include "tw/wingdi_emf.h"

// ---------------------------------------------------------------------------
// Functions

// Device contexts
TWAPI HDC CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR pszPort, CONST DEVMODEW *pdm);
TWAPI HDC CreateICW(LPCWSTR pszDriver, LPCWSTR pszDevice, LPCWSTR pszPort, CONST DEVMODEW *pdm);
TWAPI HDC CreateCompatibleDC(HDC hdc);
TWAPI BOOL DeleteDC(HDC hdc);
// The layer has no windows: GetDC(NULL) gives the screen's context (96 DPI,
// fixed size, 32 bits per pixel); any window handle fails.
TWAPI HDC GetDC(HWND hWnd);
TWAPI int ReleaseDC(HWND hWnd, HDC hDC);
TWAPI int GetDeviceCaps(HDC hdc, int index);
TWAPI int SaveDC(HDC hdc);
TWAPI BOOL RestoreDC(HDC hdc, int nSavedDC);
TWAPI BOOL GdiFlush(void);
TWAPI DWORD GdiSetBatchLimit(DWORD dw);
TWAPI DWORD GdiGetBatchLimit(void);
TWAPI BOOL GdiComment(HDC hdc, UINT nSize, CONST BYTE *lpData);
TWAPI BOOL EnableEUDC(BOOL fEnableEUDC);

// Objects
TWAPI HGDIOBJ GetStockObject(int i);
TWAPI HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
TWAPI BOOL DeleteObject(HGDIOBJ ho);
TWAPI int GetObjectW(HANDLE h, int c, LPVOID pv);
TWAPI int GetObjectA(HANDLE h, int c, LPVOID pv);
#define GetObject GetObjectW
TWAPI DWORD GetObjectType(HGDIOBJ h);
TWAPI HGDIOBJ GetCurrentObject(HDC hdc, UINT type);
TWAPI BOOL UnrealizeObject(HGDIOBJ h);

// Pens and brushes
TWAPI HPEN CreatePen(int iStyle, int cWidth, COLORREF color);
TWAPI HPEN CreatePenIndirect(CONST LOGPEN *plpen);
TWAPI HPEN ExtCreatePen(DWORD iPenStyle, DWORD cWidth, CONST LOGBRUSH *plbrush, DWORD cStyle,
                        CONST DWORD *pstyle);
TWAPI HBRUSH CreateSolidBrush(COLORREF color);
TWAPI HBRUSH CreateHatchBrush(int iHatch, COLORREF color);
TWAPI HBRUSH CreatePatternBrush(HBITMAP hbm);
TWAPI HBRUSH CreateDIBPatternBrushPt(CONST VOID *lpPackedDIB, UINT iUsage);
TWAPI HBRUSH CreateDIBPatternBrush(HGLOBAL h, UINT iUsage);
TWAPI HBRUSH CreateBrushIndirect(CONST LOGBRUSH *plbrush);
TWAPI COLORREF SetDCBrushColor(HDC hdc, COLORREF color);
TWAPI COLORREF GetDCBrushColor(HDC hdc);
TWAPI COLORREF SetDCPenColor(HDC hdc, COLORREF color);
TWAPI COLORREF GetDCPenColor(HDC hdc);
TWAPI BOOL SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
TWAPI BOOL GetBrushOrgEx(HDC hdc, LPPOINT lppt);
TWAPI BOOL SetMiterLimit(HDC hdc, FLOAT limit, PFLOAT old);
TWAPI BOOL GetMiterLimit(HDC hdc, PFLOAT plimit);

// DC attributes
TWAPI COLORREF SetBkColor(HDC hdc, COLORREF color);
TWAPI COLORREF GetBkColor(HDC hdc);
TWAPI int SetBkMode(HDC hdc, int mode);
TWAPI int GetBkMode(HDC hdc);
TWAPI COLORREF SetTextColor(HDC hdc, COLORREF color);
TWAPI COLORREF GetTextColor(HDC hdc);
TWAPI UINT SetTextAlign(HDC hdc, UINT align);
TWAPI UINT GetTextAlign(HDC hdc);
TWAPI int SetROP2(HDC hdc, int rop2);
TWAPI int GetROP2(HDC hdc);
TWAPI int SetPolyFillMode(HDC hdc, int mode);
TWAPI int GetPolyFillMode(HDC hdc);
TWAPI int SetStretchBltMode(HDC hdc, int mode);
TWAPI int GetStretchBltMode(HDC hdc);
TWAPI int SetArcDirection(HDC hdc, int dir);
TWAPI int GetArcDirection(HDC hdc);
TWAPI int SetTextCharacterExtra(HDC hdc, int extra);
TWAPI int GetTextCharacterExtra(HDC hdc);
TWAPI BOOL SetTextJustification(HDC hdc, int extra, int count);
TWAPI DWORD SetMapperFlags(HDC hdc, DWORD flags);
TWAPI DWORD SetLayout(HDC hdc, DWORD l);
TWAPI DWORD GetLayout(HDC hdc);
TWAPI int SetICMMode(HDC hdc, int mode);
TWAPI BOOL SetColorAdjustment(HDC hdc, CONST COLORADJUSTMENT *lpca);
TWAPI BOOL GetColorAdjustment(HDC hdc, LPCOLORADJUSTMENT lpca);

// Coordinate spaces and transforms
TWAPI int SetGraphicsMode(HDC hdc, int iMode);
TWAPI int GetGraphicsMode(HDC hdc);
TWAPI int SetMapMode(HDC hdc, int iMode);
TWAPI int GetMapMode(HDC hdc);
TWAPI BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
TWAPI BOOL GetWindowOrgEx(HDC hdc, LPPOINT lppoint);
TWAPI BOOL SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz);
TWAPI BOOL GetWindowExtEx(HDC hdc, LPSIZE lpsize);
TWAPI BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
TWAPI BOOL GetViewportOrgEx(HDC hdc, LPPOINT lppoint);
TWAPI BOOL SetViewportExtEx(HDC hdc, int x, int y, LPSIZE lpsz);
TWAPI BOOL GetViewportExtEx(HDC hdc, LPSIZE lpsize);
TWAPI BOOL OffsetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
TWAPI BOOL OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
TWAPI BOOL ScaleWindowExtEx(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE lpsz);
TWAPI BOOL ScaleViewportExtEx(HDC hdc, int xn, int dx, int yn, int yd, LPSIZE lpsz);
TWAPI BOOL SetWorldTransform(HDC hdc, CONST XFORM *lpxf);
TWAPI BOOL GetWorldTransform(HDC hdc, LPXFORM lpxf);
TWAPI BOOL ModifyWorldTransform(HDC hdc, CONST XFORM *lpxf, DWORD mode);
TWAPI BOOL CombineTransform(LPXFORM lpxfOut, CONST XFORM *lpxf1, CONST XFORM *lpxf2);
TWAPI BOOL LPtoDP(HDC hdc, LPPOINT lppt, int c);
TWAPI BOOL DPtoLP(HDC hdc, LPPOINT lppt, int c);
TWAPI BOOL GetDCOrgEx(HDC hdc, LPPOINT lppt);
TWAPI BOOL GetCurrentPositionEx(HDC hdc, LPPOINT lppt);

// Lines and curves
TWAPI BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT lppt);
TWAPI BOOL LineTo(HDC hdc, int x, int y);
TWAPI BOOL Polyline(HDC hdc, CONST POINT *apt, int cpt);
TWAPI BOOL PolylineTo(HDC hdc, CONST POINT *apt, DWORD cpt);
TWAPI BOOL PolyPolyline(HDC hdc, CONST POINT *apt, CONST DWORD *asz, DWORD csz);
TWAPI BOOL PolyBezier(HDC hdc, CONST POINT *apt, DWORD cpt);
TWAPI BOOL PolyBezierTo(HDC hdc, CONST POINT *apt, DWORD cpt);
TWAPI BOOL PolyDraw(HDC hdc, CONST POINT *apt, CONST BYTE *aj, int cpt);
TWAPI BOOL Arc(HDC hdc, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
TWAPI BOOL ArcTo(HDC hdc, int left, int top, int right, int bottom, int xr1, int yr1, int xr2, int yr2);
TWAPI BOOL AngleArc(HDC hdc, int x, int y, DWORD r, FLOAT StartAngle, FLOAT SweepAngle);
TWAPI BOOL LineDDA(int xStart, int yStart, int xEnd, int yEnd, LINEDDAPROC lpProc, LPARAM data);

// Filled shapes
TWAPI BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
TWAPI BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height);
TWAPI BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom);
TWAPI BOOL Chord(HDC hdc, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
TWAPI BOOL Pie(HDC hdc, int left, int top, int right, int bottom, int xr1, int yr1, int xr2, int yr2);
TWAPI BOOL Polygon(HDC hdc, CONST POINT *apt, int cpt);
TWAPI BOOL PolyPolygon(HDC hdc, CONST POINT *apt, CONST INT *asz, int csz);
TWAPI int FillRect(HDC hDC, CONST RECT *lprc, HBRUSH hbr);
TWAPI int FrameRect(HDC hDC, CONST RECT *lprc, HBRUSH hbr);
TWAPI BOOL InvertRect(HDC hDC, CONST RECT *lprc);
TWAPI COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);
TWAPI BOOL SetPixelV(HDC hdc, int x, int y, COLORREF color);
TWAPI COLORREF GetPixel(HDC hdc, int x, int y);
TWAPI BOOL ExtFloodFill(HDC hdc, int x, int y, COLORREF color, UINT type);
TWAPI BOOL FloodFill(HDC hdc, int x, int y, COLORREF color);
TWAPI BOOL GradientFill(HDC hdc, PTRIVERTEX pVertex, ULONG nVertex, PVOID pMesh, ULONG nMesh, ULONG ulMode);

// Paths
TWAPI BOOL BeginPath(HDC hdc);
TWAPI BOOL EndPath(HDC hdc);
TWAPI BOOL AbortPath(HDC hdc);
TWAPI BOOL CloseFigure(HDC hdc);
TWAPI BOOL FillPath(HDC hdc);
TWAPI BOOL StrokePath(HDC hdc);
TWAPI BOOL StrokeAndFillPath(HDC hdc);
TWAPI BOOL FlattenPath(HDC hdc);
TWAPI BOOL WidenPath(HDC hdc);
TWAPI BOOL SelectClipPath(HDC hdc, int mode);
TWAPI HRGN PathToRegion(HDC hdc);
TWAPI int GetPath(HDC hdc, LPPOINT apt, LPBYTE aj, int cpt);

// Regions and clipping
TWAPI HRGN CreateRectRgn(int x1, int y1, int x2, int y2);
TWAPI HRGN CreateRectRgnIndirect(CONST RECT *lprect);
TWAPI HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2);
TWAPI HRGN CreateEllipticRgnIndirect(CONST RECT *lprect);
TWAPI HRGN CreateRoundRectRgn(int x1, int y1, int x2, int y2, int w, int h);
TWAPI HRGN CreatePolygonRgn(CONST POINT *pptl, int cPoint, int iMode);
TWAPI HRGN CreatePolyPolygonRgn(CONST POINT *pptl, CONST INT *pc, int cPoly, int iMode);
TWAPI HRGN ExtCreateRegion(CONST XFORM *lpx, DWORD nCount, CONST RGNDATA *lpData);
TWAPI int CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode);
TWAPI BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom);
TWAPI int OffsetRgn(HRGN hrgn, int x, int y);
TWAPI int GetRgnBox(HRGN hrgn, LPRECT lprc);
TWAPI DWORD GetRegionData(HRGN hrgn, DWORD nCount, LPRGNDATA lpRgnData);
TWAPI BOOL EqualRgn(HRGN hrgn1, HRGN hrgn2);
TWAPI BOOL PtInRegion(HRGN hrgn, int x, int y);
TWAPI BOOL RectInRegion(HRGN hrgn, CONST RECT *lprect);
TWAPI BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr);
TWAPI BOOL FrameRgn(HDC hdc, HRGN hrgn, HBRUSH hbr, int w, int h);
TWAPI BOOL PaintRgn(HDC hdc, HRGN hrgn);
TWAPI BOOL InvertRgn(HDC hdc, HRGN hrgn);
TWAPI int SelectClipRgn(HDC hdc, HRGN hrgn);
TWAPI int ExtSelectClipRgn(HDC hdc, HRGN hrgn, int mode);
TWAPI int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
TWAPI int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
TWAPI int OffsetClipRgn(HDC hdc, int x, int y);
TWAPI int GetClipBox(HDC hdc, LPRECT lprect);
TWAPI int GetClipRgn(HDC hdc, HRGN hrgn);
TWAPI int GetMetaRgn(HDC hdc, HRGN hrgn);
TWAPI int SetMetaRgn(HDC hdc);
TWAPI int GetRandomRgn(HDC hdc, HRGN hrgn, INT i);
TWAPI BOOL PtVisible(HDC hdc, int x, int y);
TWAPI BOOL RectVisible(HDC hdc, CONST RECT *lprect);
#define SYSRGN 4

// Bitmaps and DIBs
TWAPI HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, CONST VOID *lpBits);
TWAPI HBITMAP CreateBitmapIndirect(CONST BITMAP *pbm);
TWAPI HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);
TWAPI HBITMAP CreateDIBSection(HDC hdc, CONST BITMAPINFO *pbmi, UINT usage, VOID **ppvBits, HANDLE hSection,
                               DWORD offset);
TWAPI HBITMAP CreateDIBitmap(HDC hdc, CONST BITMAPINFOHEADER *pbmih, DWORD flInit, CONST VOID *pjBits,
                             CONST BITMAPINFO *pbmi, UINT iUsage);
TWAPI int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi, UINT usage);
TWAPI int SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, CONST VOID *lpBits, CONST BITMAPINFO *lpbmi,
                    UINT ColorUse);
TWAPI LONG GetBitmapBits(HBITMAP hbit, LONG cb, LPVOID lpvBits);
TWAPI LONG SetBitmapBits(HBITMAP hbm, DWORD cb, CONST VOID *pvBits);
TWAPI BOOL GetBitmapDimensionEx(HBITMAP hbit, LPSIZE lpsize);
TWAPI BOOL SetBitmapDimensionEx(HBITMAP hbm, int w, int h, LPSIZE lpsz);
TWAPI UINT GetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, RGBQUAD *prgbq);
TWAPI UINT SetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, CONST RGBQUAD *prgbq);

// Blits
TWAPI BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
TWAPI BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
TWAPI BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc,
                      int wSrc, int hSrc, DWORD rop);
TWAPI int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                        int SrcWidth, int SrcHeight, CONST VOID *lpBits, CONST BITMAPINFO *lpbmi, UINT iUsage,
                        DWORD rop);
TWAPI int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT StartScan,
                            UINT cLines, CONST VOID *lpvBits, CONST BITMAPINFO *lpbmi, UINT ColorUse);
TWAPI BOOL AlphaBlend(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest, HDC hdcSrc,
                      int xoriginSrc, int yoriginSrc, int wSrc, int hSrc, BLENDFUNCTION ftn);
TWAPI BOOL GdiAlphaBlend(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest, HDC hdcSrc,
                         int xoriginSrc, int yoriginSrc, int wSrc, int hSrc, BLENDFUNCTION ftn);
TWAPI BOOL TransparentBlt(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest, HDC hdcSrc,
                          int xoriginSrc, int yoriginSrc, int wSrc, int hSrc, UINT crTransparent);
TWAPI BOOL GdiTransparentBlt(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest, HDC hdcSrc,
                             int xoriginSrc, int yoriginSrc, int wSrc, int hSrc, UINT crTransparent);
TWAPI BOOL MaskBlt(HDC hdcDest, int xDest, int yDest, int width, int height, HDC hdcSrc, int xSrc, int ySrc,
                   HBITMAP hbmMask, int xMask, int yMask, DWORD rop);
TWAPI BOOL PlgBlt(HDC hdcDest, CONST POINT *lpPoint, HDC hdcSrc, int xSrc, int ySrc, int width, int height,
                  HBITMAP hbmMask, int xMask, int yMask);
TWAPI BOOL GdiGradientFill(HDC hdc, PTRIVERTEX pVertex, ULONG nVertex, PVOID pMesh, ULONG nCount, ULONG ulMode);

// Palettes
TWAPI HPALETTE CreatePalette(CONST LOGPALETTE *plpal);
TWAPI HPALETTE CreateHalftonePalette(HDC hdc);
TWAPI HPALETTE SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd);
TWAPI UINT RealizePalette(HDC hdc);
TWAPI UINT GetNearestPaletteIndex(HPALETTE h, COLORREF color);
TWAPI COLORREF GetNearestColor(HDC hdc, COLORREF color);
TWAPI UINT GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, LPPALETTEENTRY pPalEntries);
TWAPI UINT SetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, CONST PALETTEENTRY *pPalEntries);
TWAPI BOOL ResizePalette(HPALETTE hpal, UINT n);
TWAPI BOOL AnimatePalette(HPALETTE hPal, UINT iStartIndex, UINT cEntries, CONST PALETTEENTRY *ppe);
TWAPI UINT GetSystemPaletteEntries(HDC hdc, UINT iStart, UINT cEntries, LPPALETTEENTRY pPalEntries);
TWAPI UINT GetSystemPaletteUse(HDC hdc);
TWAPI UINT SetSystemPaletteUse(HDC hdc, UINT use);

// Fonts and text (fonts are kept as their LOGFONT here; realisation,
// measurement and drawing belong to the font engine)
TWAPI HFONT CreateFontIndirectW(CONST LOGFONTW *lplf);
TWAPI HFONT CreateFontIndirectA(CONST LOGFONTA *lplf);
TWAPI HFONT CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                        DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision,
                        DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily, LPCWSTR pszFaceName);
TWAPI BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c);
TWAPI BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);
TWAPI BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, CONST RECT *lprect, LPCWSTR lpString, UINT c,
                       CONST INT *lpDx);
TWAPI BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, CONST RECT *lprect, LPCSTR lpString, UINT c,
                       CONST INT *lpDx);
TWAPI BOOL PolyTextOutW(HDC hdc, CONST POLYTEXTW *ppt, int nstrings);
TWAPI BOOL PolyTextOutA(HDC hdc, CONST POLYTEXTA *ppt, int nstrings);
TWAPI int DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format);
TWAPI BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl);
TWAPI BOOL GetTextExtentPointW(HDC hdc, LPCWSTR lpString, int c, LPSIZE lpsz);
TWAPI BOOL GetTextExtentPointI(HDC hdc, LPWORD pgiIn, int cgi, LPSIZE psize);
TWAPI BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR lpszString, int cchString, int nMaxExtent, LPINT lpnFit,
                                 LPINT lpnDx, LPSIZE lpSize);
TWAPI BOOL GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm);
TWAPI int GetTextFaceW(HDC hdc, int c, LPWSTR lpName);
TWAPI BOOL GetCharABCWidthsW(HDC hdc, UINT wFirst, UINT wLast, LPABC lpABC);
TWAPI BOOL GetCharABCWidthsI(HDC hdc, UINT giFirst, UINT cgi, LPWORD pgi, LPABC pabc);
TWAPI BOOL GetCharWidth32W(HDC hdc, UINT iFirst, UINT iLast, LPINT lpBuffer);
TWAPI DWORD GetGlyphIndicesW(HDC hdc, LPCWSTR lpstr, int c, LPWORD pgi, DWORD fl);
TWAPI DWORD GetFontUnicodeRanges(HDC hdc, LPGLYPHSET lpgs);
TWAPI DWORD GetFontData(HDC hdc, DWORD dwTable, DWORD dwOffset, PVOID pvBuffer, DWORD cjBuffer);
TWAPI int EnumFontFamiliesExW(HDC hdc, LPLOGFONTW lpLogfont, FONTENUMPROCW lpProc, LPARAM lParam, DWORD dwFlags);
TWAPI HANDLE AddFontMemResourceEx(PVOID pFileView, DWORD cjSize, PVOID pvResrved, DWORD *pNumFonts);
TWAPI BOOL RemoveFontMemResourceEx(HANDLE h);
TWAPI int AddFontResourceExW(LPCWSTR name, DWORD fl, PVOID res);
TWAPI BOOL RemoveFontResourceExW(LPCWSTR name, DWORD fl, PVOID pdv);

// Enhanced metafiles
TWAPI HDC CreateEnhMetaFileW(HDC hdc, LPCWSTR lpFilename, CONST RECT *lprc, LPCWSTR lpDesc);
TWAPI HENHMETAFILE CloseEnhMetaFile(HDC hdc);
TWAPI HENHMETAFILE SetEnhMetaFileBits(UINT nSize, CONST BYTE *pb);
TWAPI UINT GetEnhMetaFileBits(HENHMETAFILE hEMF, UINT nSize, LPBYTE lpData);
TWAPI UINT GetEnhMetaFileHeader(HENHMETAFILE hemf, UINT nSize, LPENHMETAHEADER lpEnhMetaHeader);
TWAPI UINT GetEnhMetaFileDescriptionW(HENHMETAFILE hemf, UINT cchBuffer, LPWSTR lpDescription);
TWAPI UINT GetEnhMetaFilePaletteEntries(HENHMETAFILE hemf, UINT nNumEntries, LPPALETTEENTRY lpPaletteEntries);
TWAPI HENHMETAFILE GetEnhMetaFileW(LPCWSTR lpName);
TWAPI HENHMETAFILE CopyEnhMetaFileW(HENHMETAFILE hEnh, LPCWSTR lpFileName);
TWAPI BOOL DeleteEnhMetaFile(HENHMETAFILE hmf);
TWAPI BOOL PlayEnhMetaFile(HDC hdc, HENHMETAFILE hmf, CONST RECT *lprect);
TWAPI BOOL EnumEnhMetaFile(HDC hdc, HENHMETAFILE hmf, ENHMFENUMPROC proc, LPVOID param, CONST RECT *lpRect);
TWAPI BOOL PlayEnhMetaFileRecord(HDC hdc, LPHANDLETABLE pht, CONST ENHMETARECORD *pmr, UINT cht);
