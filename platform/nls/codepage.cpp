// MultiByteToWideChar / WideCharToMultiByte and the code page queries.
//
// Single-byte pages are 256-entry tables (1252, 437 and the pages of GDI's
// European character sets, 1250, 1251, 1253, 1254 and 1257, built in; the
// others read once from ICU, upper half only, because ICU's IBM tables move
// control codes that Windows keeps in place). UTF-8 is coded here, following the
// Unicode rule that each maximal ill-formed subsequence becomes one U+FFFD,
// as Windows does.
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>

#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "tw/lasterror.h"
#include "tw/nls.h"
#include "tw/root.h"
#include "winerror.h"

namespace {

constexpr char16_t kUndefined = 0xFFFF;  // marks a byte without a mapping

struct SingleByteTable {
  std::array<char16_t, 256> toWide{};
  std::unordered_map<char16_t, unsigned char> toByte;
  std::array<char16_t, 32> glyphs{};  // MB_USEGLYPHCHARS forms of 0x01-0x1F (0 = none)
  char16_t glyph7F = 0;
};

// Windows 1252: the 0x80-0x9F row; the rest is Latin-1. The five bytes
// without a character map to the C1 controls of the same number, as Windows
// maps them.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// OEM 437, bytes 0x80-0xFF.
constexpr char16_t k437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// The code pages 8-bit text is read in for fonts of the Central European,
// Cyrillic, Greek, Turkish and Baltic character sets, bytes 0x80-0xFF as
// Windows maps them: bytes the published table leaves without a character
// map to the C1 control of the same number (0x80-0x9F) or, in 1253 and
// 1257, to the private-use characters U+F8F9-U+F8FD.
constexpr char16_t k1250High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164,
    0x017D, 0x0179, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x0161, 0x203A,
    0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9,
    0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139,
    0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1,
    0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD,
    0x0163, 0x02D9};
constexpr char16_t k1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C,
    0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A,
    0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9,
    0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415,
    0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431,
    0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D,
    0x044E, 0x044F};
constexpr char16_t k1253High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x008A, 0x2039, 0x008C, 0x008D,
    0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x009A, 0x203A,
    0x009C, 0x009D, 0x009E, 0x009F, 0x00A0, 0x0385, 0x0386, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9,
    0xF8F9, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x2015, 0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x0384, 0x00B5, 0x00B6, 0x00B7,
    0x0388, 0x0389, 0x038A, 0x00BB, 0x038C, 0x00BD, 0x038E, 0x038F, 0x0390, 0x0391, 0x0392, 0x0393, 0x0394, 0x0395,
    0x0396, 0x0397, 0x0398, 0x0399, 0x039A, 0x039B, 0x039C, 0x039D, 0x039E, 0x039F, 0x03A0, 0x03A1, 0xF8FA, 0x03A3,
    0x03A4, 0x03A5, 0x03A6, 0x03A7, 0x03A8, 0x03A9, 0x03AA, 0x03AB, 0x03AC, 0x03AD, 0x03AE, 0x03AF, 0x03B0, 0x03B1,
    0x03B2, 0x03B3, 0x03B4, 0x03B5, 0x03B6, 0x03B7, 0x03B8, 0x03B9, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BE, 0x03BF,
    0x03C0, 0x03C1, 0x03C2, 0x03C3, 0x03C4, 0x03C5, 0x03C6, 0x03C7, 0x03C8, 0x03C9, 0x03CA, 0x03CB, 0x03CC, 0x03CD,
    0x03CE, 0xF8FB};
constexpr char16_t k1254High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D,
    0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A,
    0x0153, 0x009D, 0x009E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9,
    0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5,
    0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x011E, 0x00D1, 0x00D2, 0x00D3,
    0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0130, 0x015E, 0x00DF, 0x00E0, 0x00E1,
    0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x011F, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0131,
    0x015F, 0x00FF};
constexpr char16_t k1257High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x008A, 0x2039, 0x008C, 0x00A8,
    0x02C7, 0x00B8, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x009A, 0x203A,
    0x009C, 0x00AF, 0x02DB, 0x009F, 0x00A0, 0xF8FC, 0x00A2, 0x00A3, 0x00A4, 0xF8FD, 0x00A6, 0x00A7, 0x00D8, 0x00A9,
    0x0156, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00C6, 0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00F8, 0x00B9, 0x0157, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00E6, 0x0104, 0x012E, 0x0100, 0x0106, 0x00C4, 0x00C5,
    0x0118, 0x0112, 0x010C, 0x00C9, 0x0179, 0x0116, 0x0122, 0x0136, 0x012A, 0x013B, 0x0160, 0x0143, 0x0145, 0x00D3,
    0x014C, 0x00D5, 0x00D6, 0x00D7, 0x0172, 0x0141, 0x015A, 0x016A, 0x00DC, 0x017B, 0x017D, 0x00DF, 0x0105, 0x012F,
    0x0101, 0x0107, 0x00E4, 0x00E5, 0x0119, 0x0113, 0x010D, 0x00E9, 0x017A, 0x0117, 0x0123, 0x0137, 0x012B, 0x013C,
    0x0161, 0x0144, 0x0146, 0x00F3, 0x014D, 0x00F5, 0x00F6, 0x00F7, 0x0173, 0x0142, 0x015B, 0x016B, 0x00FC, 0x017C,
    0x017E, 0x02D9};

const char16_t* builtInHigh(UINT cp) {
  switch (cp) {
    case 1250: return k1250High;
    case 1251: return k1251High;
    case 1253: return k1253High;
    case 1254: return k1254High;
    case 1257: return k1257High;
    default: return nullptr;
  }
}

// The OEM glyphs of the control codes (MB_USEGLYPHCHARS).
constexpr char16_t kOemGlyphs[32] = {0,      0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
                                     0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
                                     0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
                                     0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC};

void finishTable(SingleByteTable& t) {
  for (int b = 255; b >= 0; --b)  // lowest byte wins when two bytes share a character
    if (t.toWide[b] != kUndefined) t.toByte[t.toWide[b]] = static_cast<unsigned char>(b);
}

std::unique_ptr<SingleByteTable> identityLow() {
  auto t = std::make_unique<SingleByteTable>();
  for (int b = 0; b < 256; ++b) t->toWide[b] = b < 0x80 ? char16_t(b) : kUndefined;
  return t;
}

const char* icuName(UINT cp, std::string& storage) {
  if ((cp >= 1250 && cp <= 1258) || cp == 874) return (storage = "windows-" + std::to_string(cp)).c_str();
  if (cp == 850 || cp == 852 || cp == 855 || cp == 857 || (cp >= 860 && cp <= 866) || cp == 869 || cp == 737 ||
      cp == 775)
    return (storage = "ibm-" + std::to_string(cp)).c_str();
  if (cp >= 28591 && cp <= 28599) return (storage = "iso-8859-" + std::to_string(cp - 28590)).c_str();
  if (cp == 28603) return "iso-8859-13";
  if (cp == 28605) return "iso-8859-15";
  if (cp == 10000) return "macintosh";
  return nullptr;
}

std::unique_ptr<SingleByteTable> buildTable(UINT cp) {
  auto t = identityLow();
  if (cp == 1252) {
    for (int b = 0x80; b < 0x100; ++b) t->toWide[b] = b < 0xA0 ? k1252High[b - 0x80] : char16_t(b);
  } else if (cp == 437) {
    for (int b = 0x80; b < 0x100; ++b) t->toWide[b] = k437High[b - 0x80];
  } else if (const char16_t* high = builtInHigh(cp)) {
    for (int b = 0x80; b < 0x100; ++b) t->toWide[b] = high[b - 0x80];
  } else if (cp == 20127) {
    // US-ASCII: Windows strips the high bit of bytes above 0x7F.
    for (int b = 0x80; b < 0x100; ++b) t->toWide[b] = char16_t(b & 0x7F);
    finishTable(*t);
    for (int b = 0x80; b < 0x100; ++b) t->toByte.erase(char16_t(b));
    return t;
  } else if (cp == CP_SYMBOL) {
    for (int b = 0x20; b < 0x100; ++b) t->toWide[b] = char16_t(0xF000 + b);
  } else {
    std::string storage;
    const char* name = icuName(cp, storage);
    if (!name) return nullptr;
    UErrorCode err = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(name, &err);
    if (!conv || U_FAILURE(err)) return nullptr;
    ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    for (int b = 0x80; b < 0x100; ++b) {
      char in = static_cast<char>(b);
      UChar out[4];
      UErrorCode e = U_ZERO_ERROR;
      ucnv_resetToUnicode(conv);
      int32_t n = ucnv_toUChars(conv, out, 4, &in, 1, &e);
      t->toWide[b] = (U_SUCCESS(e) && n == 1) ? out[0] : kUndefined;
    }
    ucnv_close(conv);
  }
  if (cp == 437 || cp == 850 || cp == 852 || cp == 866) {
    for (int b = 1; b < 32; ++b) t->glyphs[b] = kOemGlyphs[b];
    t->glyph7F = 0x2302;
  }
  finishTable(*t);
  return t;
}

UINT configuredAnsiCodePage() {
  UINT cp = tw::config::Get()->ansiCodePage;
  return cp ? cp : 1252;
}

// 437 for en-US, 850 for the other European locales.
UINT configuredOemCodePage() {
  const std::u16string& locale = tw::config::Get()->locale;
  return (locale.empty() || locale == u"en-US") ? 437 : 850;
}

UINT resolve(UINT cp) {
  switch (cp) {
    case CP_ACP:
    case CP_THREAD_ACP:
      return configuredAnsiCodePage();
    case CP_OEMCP:
      return configuredOemCodePage();
    case CP_MACCP:
      return 10000;
    default:
      return cp;
  }
}

// Tables are built on first use and kept for the life of the process.
const SingleByteTable* tableFor(UINT cp) {
  static std::mutex mutex;
  static std::map<UINT, std::unique_ptr<SingleByteTable>> tables;
  std::lock_guard lock(mutex);
  auto it = tables.find(cp);
  if (it == tables.end()) it = tables.emplace(cp, buildTable(cp)).first;
  return it->second.get();
}

bool isCombining(char16_t c) {
  int8_t type = u_charType(c);
  return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_COMBINING_SPACING_MARK;
}

// The character Windows' best-fit tables would choose: the base letter of a
// decomposable character (accent dropped), the ASCII form of a compatibility
// character (full-width letters). 0 when there is none.
char16_t bestFit(const SingleByteTable& table, char16_t c) {
  UErrorCode err = U_ZERO_ERROR;
  const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(err);
  if (U_FAILURE(err)) return 0;
  icu::UnicodeString decomposed;
  if (!nfkd->getDecomposition(c, decomposed) || decomposed.length() == 0) return 0;
  char16_t base = decomposed.charAt(0);
  for (int32_t i = 1; i < decomposed.length(); ++i)
    if (!isCombining(decomposed.charAt(i))) return 0;
  return table.toByte.count(base) ? base : 0;
}

bool lookup(const SingleByteTable& table, char16_t c, unsigned char& out) {
  auto it = table.toByte.find(c);
  if (it == table.toByte.end()) return false;
  out = it->second;
  return true;
}

// Output sink that counts when there is no buffer and reports overflow.
template <class T>
struct Sink {
  T* out;
  int capacity;  // 0: size query
  int used = 0;
  bool overflow = false;
  bool put(T v) {
    if (capacity) {
      if (used >= capacity) {
        overflow = true;
        return false;
      }
      out[used] = v;
    }
    ++used;
    return true;
  }
};

// Decodes UTF-8; false when an invalid sequence is met and `strict`.
bool decodeUtf8(const unsigned char* s, int n, bool strict, Sink<char16_t>& sink) {
  int i = 0;
  while (i < n) {
    unsigned b = s[i];
    if (b < 0x80) {
      if (!sink.put(char16_t(b))) return true;
      ++i;
      continue;
    }
    int need = 0;
    unsigned lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;  // no encoded surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    }
    int k = 1;
    bool complete = need > 0;
    for (; k <= need; ++k) {
      if (i + k >= n) {
        complete = false;
        break;
      }
      unsigned t = s[i + k];
      unsigned first = k == 1 ? lo : 0x80, last = k == 1 ? hi : 0xBF;
      if (t < first || t > last) {
        complete = false;
        break;
      }
      cp = (cp << 6) | (t & 0x3F);
    }
    if (!complete) {
      if (strict) return false;
      if (!sink.put(0xFFFD)) return true;
      i += need > 0 ? k : 1;  // the maximal ill-formed subpart
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      if (!sink.put(char16_t(0xD800 + (cp >> 10))) || !sink.put(char16_t(0xDC00 + (cp & 0x3FF)))) return true;
    } else if (!sink.put(char16_t(cp))) {
      return true;
    }
    i += need + 1;
  }
  return true;
}

bool encodeUtf8(const char16_t* s, int n, bool strict, Sink<char>& sink) {
  for (int i = 0; i < n; ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (strict) return false;
      c = 0xFFFD;
    }
    char bytes[4];
    int len;
    if (c < 0x80) {
      bytes[0] = char(c);
      len = 1;
    } else if (c < 0x800) {
      bytes[0] = char(0xC0 | (c >> 6));
      bytes[1] = char(0x80 | (c & 0x3F));
      len = 2;
    } else if (c < 0x10000) {
      bytes[0] = char(0xE0 | (c >> 12));
      bytes[1] = char(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = char(0x80 | (c & 0x3F));
      len = 3;
    } else {
      bytes[0] = char(0xF0 | (c >> 18));
      bytes[1] = char(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = char(0x80 | ((c >> 6) & 0x3F));
      bytes[3] = char(0x80 | (c & 0x3F));
      len = 4;
    }
    // A character that does not fit whole is not written at all.
    if (sink.capacity && sink.used + len > sink.capacity) {
      sink.overflow = true;
      return true;
    }
    for (int k = 0; k < len; ++k) sink.put(bytes[k]);
  }
  return true;
}

void decodeSingleByte(const SingleByteTable& table, const unsigned char* s, int n, DWORD flags, bool& invalid,
                      Sink<char16_t>& sink) {
  UErrorCode err = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = (flags & MB_COMPOSITE) ? icu::Normalizer2::getNFDInstance(err) : nullptr;
  for (int i = 0; i < n; ++i) {
    unsigned char b = s[i];
    char16_t c = table.toWide[b];
    if ((flags & MB_USEGLYPHCHARS) && b < 32 && table.glyphs[b]) c = table.glyphs[b];
    if ((flags & MB_USEGLYPHCHARS) && b == 0x7F && table.glyph7F) c = table.glyph7F;
    if (c == kUndefined) {
      if (flags & MB_ERR_INVALID_CHARS) {
        invalid = true;
        return;
      }
      c = 0xFFFD;
    }
    icu::UnicodeString parts;
    if (nfd && U_SUCCESS(err) && nfd->getDecomposition(c, parts)) {
      for (int32_t k = 0; k < parts.length(); ++k)
        if (!sink.put(parts.charAt(k))) return;
      continue;
    }
    if (!sink.put(c)) return;
  }
}

struct EncodeState {
  unsigned char defaultChar;
  bool usedDefault = false;
};

void encodeSingleByte(const SingleByteTable& table, const char16_t* s, int n, DWORD flags, EncodeState& st,
                      Sink<char>& sink) {
  const bool bestFitAllowed = !(flags & WC_NO_BEST_FIT_CHARS);
  auto encodeOne = [&](char16_t c) -> bool {
    unsigned char b;
    if (lookup(table, c, b)) return sink.put(char(b));
    if (bestFitAllowed) {
      if (char16_t fit = bestFit(table, c); fit && lookup(table, fit, b)) return sink.put(char(b));
    }
    st.usedDefault = true;
    return sink.put(char(st.defaultChar));
  };
  UErrorCode err = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = (flags & WC_COMPOSITECHECK) ? icu::Normalizer2::getNFCInstance(err) : nullptr;
  for (int i = 0; i < n; ++i) {
    char16_t c = s[i];
    if (nfc && U_SUCCESS(err) && i + 1 < n && isCombining(s[i + 1])) {
      // Compose the base with its following marks while a precomposed
      // character exists and the code page has it.
      int j = i + 1;
      char16_t composed = c;
      unsigned char b;
      while (j < n && isCombining(s[j])) {
        UChar32 pair = nfc->composePair(composed, s[j]);
        if (pair < 0 || pair > 0xFFFF) break;
        composed = static_cast<char16_t>(pair);
        ++j;
      }
      if (j > i + 1 && lookup(table, composed, b) && (j == n || !isCombining(s[j]))) {
        if (!sink.put(char(b))) return;
        i = j - 1;
        continue;
      }
      // No precomposed form in this code page.
      int end = i + 1;
      while (end < n && isCombining(s[end])) ++end;
      if (flags & WC_DEFAULTCHAR) {
        st.usedDefault = true;
        if (!sink.put(char(st.defaultChar))) return;
        i = end - 1;
        continue;
      }
      if (flags & WC_DISCARDNS) {
        if (!encodeOne(c)) return;
        i = end - 1;
        continue;
      }
      // WC_SEPCHARS (the default): the base and each mark on their own.
    }
    if (!encodeOne(c)) return;
  }
}

}  // namespace

UINT GetACP(void) { return configuredAnsiCodePage(); }
UINT GetOEMCP(void) { return configuredOemCodePage(); }

BOOL IsValidCodePage(UINT CodePage) {
  if (CodePage == CP_UTF8) return TRUE;
  if (CodePage <= CP_THREAD_ACP) return FALSE;  // the symbolic values are not code pages
  return tableFor(CodePage) ? TRUE : FALSE;
}

BOOL GetCPInfo(UINT CodePage, LPCPINFO lpCPInfo) {
  if (!lpCPInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  UINT cp = resolve(CodePage);
  std::memset(lpCPInfo, 0, sizeof(*lpCPInfo));
  if (cp == CP_UTF8) {
    lpCPInfo->MaxCharSize = 4;
    lpCPInfo->DefaultChar[0] = '?';
    return TRUE;
  }
  if (!tableFor(cp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  lpCPInfo->MaxCharSize = 1;
  lpCPInfo->DefaultChar[0] = '?';
  return TRUE;
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && !lpWideCharStr) ||
      (cchWideChar > 0 && static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT cp = resolve(CodePage);
  int n = cbMultiByte == -1 ? static_cast<int>(std::strlen(lpMultiByteStr)) + 1 : cbMultiByte;
  const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  Sink<char16_t> sink{lpWideCharStr, cchWideChar};
  if (cp == CP_UTF8) {
    if (dwFlags & ~DWORD(MB_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    if (!decodeUtf8(bytes, n, (dwFlags & MB_ERR_INVALID_CHARS) != 0, sink)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  } else {
    const DWORD allowed = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
    if ((dwFlags & ~allowed) || ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE))) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    const SingleByteTable* table = tableFor(cp);
    if (!table) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    bool invalid = false;
    decodeSingleByte(*table, bytes, n, dwFlags, invalid, sink);
    if (invalid) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  }
  if (sink.overflow) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return sink.used;
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr) ||
      (cbMultiByte > 0 && static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT cp = resolve(CodePage);
  int n = cchWideChar;
  if (n == -1) {
    n = 0;
    while (lpWideCharStr[n]) ++n;
    ++n;  // the terminator is converted too
  }
  Sink<char> sink{lpMultiByteStr, cbMultiByte};
  if (cp == CP_UTF8) {
    if (dwFlags & ~DWORD(WC_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    if (lpDefaultChar || lpUsedDefaultChar) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (!encodeUtf8(lpWideCharStr, n, (dwFlags & WC_ERR_INVALID_CHARS) != 0, sink)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  } else {
    const DWORD allowed = WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;
    const DWORD compositeOnly = WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR;
    if ((dwFlags & ~allowed) || ((dwFlags & compositeOnly) && !(dwFlags & WC_COMPOSITECHECK))) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    const SingleByteTable* table = tableFor(cp);
    if (!table) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    EncodeState st{static_cast<unsigned char>(lpDefaultChar ? *lpDefaultChar : '?')};
    encodeSingleByte(*table, lpWideCharStr, n, dwFlags, st, sink);
    if (lpUsedDefaultChar) *lpUsedDefaultChar = st.usedDefault ? TRUE : FALSE;
  }
  if (sink.overflow) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return sink.used;
}
