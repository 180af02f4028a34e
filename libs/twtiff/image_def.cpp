#include "image_def.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "fax_coder.h"
#include "ifd_chain.h"
#include "page_dib.h"
#include "tiff_errors.h"
#include "tw_tiff_api.h"

namespace twtiff {

using tw::codec::FaxCoder;
using tw::codec::FaxCoding;
namespace {

enum class Kind { Short, Long, Shorts, Rational, Pair, ColorMap, Ascii };

struct TagInfo {
  WORD tag;
  Kind kind;
  bool descriptive;  // may be changed on an image already written
};

constexpr TagInfo kTags[] = {
    {TIFFTAG_SUBFILETYPE, Kind::Long, true},     {TIFFTAG_IMAGEWIDTH, Kind::Long, false},
    {TIFFTAG_IMAGELENGTH, Kind::Long, false},    {TIFFTAG_BITSPERSAMPLE, Kind::Shorts, false},
    {TIFFTAG_COMPRESSION, Kind::Short, false},   {TIFFTAG_PHOTOMETRIC, Kind::Short, false},
    {TIFFTAG_FILLORDER, Kind::Short, false},     {TIFFTAG_DOCUMENTNAME, Kind::Ascii, true},
    {TIFFTAG_IMAGEDESCRIPTION, Kind::Ascii, true}, {TIFFTAG_MAKE, Kind::Ascii, false},
    {TIFFTAG_MODEL, Kind::Ascii, false},         {TIFFTAG_ORIENTATION, Kind::Short, false},
    {TIFFTAG_SAMPLESPERPIXEL, Kind::Short, false}, {TIFFTAG_ROWSPERSTRIP, Kind::Long, false},
    {TIFFTAG_XRESOLUTION, Kind::Rational, true}, {TIFFTAG_YRESOLUTION, Kind::Rational, true},
    {TIFFTAG_PLANARCONFIG, Kind::Short, false},  {TIFFTAG_PAGENAME, Kind::Ascii, true},
    {TIFFTAG_GROUP3OPTIONS, Kind::Long, false},  {TIFFTAG_GROUP4OPTIONS, Kind::Long, false},
    {TIFFTAG_RESOLUTIONUNIT, Kind::Short, true}, {TIFFTAG_PAGENUMBER, Kind::Pair, true},
    {TIFFTAG_SOFTWARE, Kind::Ascii, true},       {TIFFTAG_DATETIME, Kind::Ascii, true},
    {TIFFTAG_ARTIST, Kind::Ascii, true},         {TIFFTAG_PREDICTOR, Kind::Short, false},
    {TIFFTAG_COLORMAP, Kind::ColorMap, false},
};

const TagInfo* Info(WORD tag) {
  for (const TagInfo& t : kTags)
    if (t.tag == tag) return &t;
  return nullptr;
}

// TIFF field types.
enum : WORD { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSByte = 6, kUndefined = 7,
              kSShort = 8, kSLong = 9, kSRational = 10 };

bool IntegerType(WORD t) { return t == kByte || t == kShort || t == kLong || t == kSByte || t == kSShort || t == kSLong; }

constexpr DWORD kMaxValues = 1u << 16;

// ---- the plan of one image ----------------------------------------------------

enum class Expand { None, Grey, Rgb };

struct Plan {
  std::uint32_t width = 0, height = 0;
  std::uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE;
  std::uint16_t compression = COMPRESSION_NONE;
  std::uint16_t outPhotometric = PHOTOMETRIC_MINISWHITE;
  Expand expand = Expand::None;
  std::vector<std::uint16_t> map[3];  // palette, 2^bps entries each
  std::uint32_t rowsPerStrip = 1;
  std::size_t inRowBytes = 0, outRowBytes = 0;
  bool jpeg() const { return compression == COMPRESSION_JPEG; }
};

bool IsCcitt(std::uint16_t c) {
  return c == COMPRESSION_CCITTRLE || c == COMPRESSION_CCITTFAX3 || c == COMPRESSION_CCITTFAX4;
}

bool MakePlan(const ImageDef& def, Plan& p) {
  p.width = def.Int(TIFFTAG_IMAGEWIDTH, 0);
  p.height = def.Int(TIFFTAG_IMAGELENGTH, 0);
  if (p.width == 0 || p.height == 0) return Fail(TW_TIFF_ERROR_DEFINITION, "ImageWidth and ImageLength are required");
  if (p.width > kMaxImageSide || p.height > kMaxImageSide || std::uint64_t(p.width) * p.height > tw::codec::kMaxPixels)
    return Fail(TW_TIFF_ERROR_DEFINITION, "the image (%u x %u) is too large", p.width, p.height);

  const TagValue* bits = def.Find(TIFFTAG_BITSPERSAMPLE);
  p.bps = static_cast<std::uint16_t>(bits ? bits->values[0] : 1);
  if (bits && std::any_of(bits->values.begin(), bits->values.end(), [&](std::uint32_t b) { return b != p.bps; }))
    return Fail(TW_TIFF_ERROR_DEFINITION, "different bits per sample are not supported");
  p.spp = static_cast<std::uint16_t>(def.Int(TIFFTAG_SAMPLESPERPIXEL, bits && bits->values.size() == 3 ? 3 : 1));
  std::uint32_t photometricDefault = p.spp == 3 ? PHOTOMETRIC_RGB
                                     : p.bps == 1 ? PHOTOMETRIC_MINISWHITE
                                                  : PHOTOMETRIC_MINISBLACK;
  p.photometric = static_cast<std::uint16_t>(def.Int(TIFFTAG_PHOTOMETRIC, photometricDefault));
  if (def.Int(TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) != PLANARCONFIG_CONTIG)
    return Fail(TW_TIFF_ERROR_DEFINITION, "only contiguous samples are written");
  bool single = p.spp == 1 && (p.bps == 1 || p.bps == 2 || p.bps == 4 || p.bps == 8) &&
                (p.photometric == PHOTOMETRIC_MINISWHITE || p.photometric == PHOTOMETRIC_MINISBLACK ||
                 p.photometric == PHOTOMETRIC_PALETTE);
  bool rgb = p.spp == 3 && p.bps == 8 && p.photometric == PHOTOMETRIC_RGB;
  if (!single && !rgb)
    return Fail(TW_TIFF_ERROR_DEFINITION, "%u bits x %u samples with photometric %u is not written", p.bps, p.spp,
                p.photometric);

  if (p.photometric == PHOTOMETRIC_PALETTE) {
    const TagValue* map = def.Find(TIFFTAG_COLORMAP);
    std::size_t entries = std::size_t(1) << p.bps;
    if (!map || map->values.size() / 3 > entries)
      return Fail(TW_TIFF_ERROR_DEFINITION, "a palette image needs a colour map of at most %zu entries", entries);
    std::size_t n = map->values.size() / 3;
    for (int c = 0; c < 3; ++c) {
      p.map[c].assign(entries, 0);  // missing entries are black
      for (std::size_t i = 0; i < n; ++i) p.map[c][i] = static_cast<std::uint16_t>(map->values[c * n + i]);
    }
  }

  std::uint32_t compression = def.Int(TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  if (compression == COMPRESSION_OJPEG) compression = COMPRESSION_JPEG;  // old-style JPEG is read-only in libtiff
  if (compression == COMPRESSION_DEFLATE) compression = COMPRESSION_ADOBE_DEFLATE;
  switch (compression) {
    case COMPRESSION_NONE: case COMPRESSION_CCITTRLE: case COMPRESSION_CCITTFAX3: case COMPRESSION_CCITTFAX4:
    case COMPRESSION_LZW: case COMPRESSION_JPEG: case COMPRESSION_ADOBE_DEFLATE: case COMPRESSION_PACKBITS:
      break;
    default:
      return Fail(TW_TIFF_ERROR_DEFINITION, "compression %u is not written", compression);
  }
  p.compression = static_cast<std::uint16_t>(compression);
  if (!TIFFIsCODECConfigured(p.compression))
    return Fail(TW_TIFF_ERROR_DEFINITION, "compression %u is not available", compression);
  bool bilevel = single && p.bps == 1 && p.photometric != PHOTOMETRIC_PALETTE;
  if (IsCcitt(p.compression) && !bilevel)
    return Fail(TW_TIFF_ERROR_DEFINITION, "CCITT coding needs a bilevel image");

  p.inRowBytes = (std::size_t(p.width) * p.bps * p.spp + 7) / 8;
  p.outRowBytes = p.inRowBytes;
  p.outPhotometric = p.photometric;
  if (p.jpeg()) {
    // libtiff's JPEG codec takes 8-bit grey or RGB samples.
    bool greyMap = true;
    for (std::size_t i = 0; i < p.map[0].size(); ++i)
      greyMap = greyMap && p.map[0][i] == p.map[1][i] && p.map[1][i] == p.map[2][i];
    if (rgb) {
      p.outPhotometric = PHOTOMETRIC_YCBCR;
    } else if (p.bps == 8 && p.photometric == PHOTOMETRIC_MINISBLACK) {
      p.outPhotometric = PHOTOMETRIC_MINISBLACK;
    } else if (p.photometric == PHOTOMETRIC_PALETTE && !greyMap) {
      p.expand = Expand::Rgb;
      p.outPhotometric = PHOTOMETRIC_YCBCR;
      p.outRowBytes = std::size_t(p.width) * 3;
    } else {
      p.expand = Expand::Grey;
      p.outPhotometric = PHOTOMETRIC_MINISBLACK;
      p.outRowBytes = p.width;
    }
  }

  const TagValue* rows = def.Find(TIFFTAG_ROWSPERSTRIP);
  if (rows) {
    p.rowsPerStrip = std::clamp<std::uint32_t>(rows->values[0], 1, p.height);
  } else if (IsCcitt(p.compression)) {
    p.rowsPerStrip = p.height;
  } else {
    p.rowsPerStrip = static_cast<std::uint32_t>(std::clamp<std::size_t>(65536 / p.outRowBytes, 1, p.height));
  }
  // JPEG strips hold whole MCU rows (16 lines with YCbCr subsampling).
  if (p.jpeg() && p.rowsPerStrip < p.height) p.rowsPerStrip = std::min(p.height, (p.rowsPerStrip + 15) / 16 * 16);
  return true;
}

std::uint32_t Sample(const BYTE* row, std::uint32_t x, unsigned bps) {
  if (bps == 8) return row[x];
  std::size_t bit = std::size_t(x) * bps;
  unsigned shift = 8 - bps - static_cast<unsigned>(bit % 8);
  return (row[bit / 8] >> shift) & ((1u << bps) - 1);
}

void ExpandRow(const Plan& p, const BYTE* in, BYTE* out) {
  unsigned max = (1u << p.bps) - 1;
  for (std::uint32_t x = 0; x < p.width; ++x) {
    std::uint32_t v = Sample(in, x, p.bps);
    if (p.photometric == PHOTOMETRIC_PALETTE) {
      if (p.expand == Expand::Rgb) {
        for (int c = 0; c < 3; ++c) out[3 * x + c] = static_cast<BYTE>(p.map[c][v] >> 8);
      } else {
        out[x] = static_cast<BYTE>(p.map[0][v] >> 8);
      }
    } else {
      BYTE grey = static_cast<BYTE>(v * 255 / max);
      out[x] = p.photometric == PHOTOMETRIC_MINISWHITE ? static_cast<BYTE>(255 - grey) : grey;
    }
  }
}

bool Apply(TIFF* t, WORD tag, const TagValue& v) {
  const TagInfo* info = Info(tag);
  if (!info) return false;
  switch (info->kind) {
    case Kind::Short:
    case Kind::Shorts: return TIFFSetField(t, tag, static_cast<int>(v.values[0])) == 1;
    case Kind::Long: return TIFFSetField(t, tag, static_cast<std::uint32_t>(v.values[0])) == 1;
    case Kind::Rational: return TIFFSetField(t, tag, double(v.values[0]) / double(v.values[1])) == 1;
    case Kind::Pair: return TIFFSetField(t, tag, static_cast<int>(v.values[0]), static_cast<int>(v.values[1])) == 1;
    case Kind::Ascii: return TIFFSetField(t, tag, v.text.c_str()) == 1;
    case Kind::ColorMap: return false;  // set from the plan (padded)
  }
  return false;
}

// The tags that describe the layout come from the plan; the rest as given.
bool SetFields(TIFF* t, const ImageDef& def, const Plan& p, const EncodeOptions& options) {
  bool expanded = p.expand != Expand::None;
  std::uint16_t outSpp = p.expand == Expand::Rgb ? 3 : p.spp;
  std::uint16_t outBps = expanded ? 8 : p.bps;
  bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.width) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.height) &&
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, int(outBps)) &&
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, int(outSpp)) &&
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, int(PLANARCONFIG_CONTIG)) &&
            TIFFSetField(t, TIFFTAG_COMPRESSION, int(p.compression)) &&
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, int(p.outPhotometric));
  if (ok && p.jpeg()) {
    ok = TIFFSetField(t, TIFFTAG_JPEGQUALITY, options.jpegQuality) &&
         (p.outPhotometric != PHOTOMETRIC_YCBCR || TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, int(JPEGCOLORMODE_RGB)));
  }
  ok = ok && TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, p.rowsPerStrip);
  if (ok && p.photometric == PHOTOMETRIC_PALETTE && !expanded)
    ok = TIFFSetField(t, TIFFTAG_COLORMAP, p.map[0].data(), p.map[1].data(), p.map[2].data());
  if (!ok) return Fail(TW_TIFF_ERROR_DEFINITION, "libtiff refused the image's layout");
  for (const TagInfo& info : kTags) {
    const TagValue* v = def.Find(info.tag);
    if (!v) continue;
    switch (info.tag) {
      case TIFFTAG_IMAGEWIDTH: case TIFFTAG_IMAGELENGTH: case TIFFTAG_BITSPERSAMPLE: case TIFFTAG_SAMPLESPERPIXEL:
      case TIFFTAG_PLANARCONFIG: case TIFFTAG_COMPRESSION: case TIFFTAG_PHOTOMETRIC: case TIFFTAG_ROWSPERSTRIP:
      case TIFFTAG_COLORMAP:
        continue;  // from the plan
      case TIFFTAG_GROUP3OPTIONS:
        if (p.compression != COMPRESSION_CCITTFAX3) continue;
        break;
      case TIFFTAG_GROUP4OPTIONS:
        if (p.compression != COMPRESSION_CCITTFAX4) continue;
        break;
      case TIFFTAG_PREDICTOR:
        if (p.compression != COMPRESSION_LZW && p.compression != COMPRESSION_ADOBE_DEFLATE) continue;
        break;
      case TIFFTAG_FILLORDER:
        if (p.bps != 1 || expanded) continue;  // bit order means something for bilevel rows only
        break;
      default: break;
    }
    if (!Apply(t, info.tag, *v)) return Fail(TW_TIFF_ERROR_DEFINITION, "libtiff refused tag %u", info.tag);
  }
  return true;
}

// CCITT images are coded with FaxCoder, far faster than libtiff's coders,
// and written as raw strips under the same tags. The coding follows what
// libtiff's coders do with the tags: Group 3 2-D takes K = 4 above 150 dpi
// vertically, else 2. Uncompressed mode is left to libtiff.
bool FaxCodingOf(const ImageDef& def, const Plan& p, FaxCoding& coding) {
  switch (p.compression) {
    case COMPRESSION_CCITTRLE:
      coding.scheme = FaxCoding::Scheme::ModifiedHuffman;
      return true;
    case COMPRESSION_CCITTFAX4:
      coding.scheme = FaxCoding::Scheme::Group4;
      return true;
    case COMPRESSION_CCITTFAX3: {
      std::uint32_t t4 = def.Int(TIFFTAG_GROUP3OPTIONS, 0);
      if (t4 & ~std::uint32_t(GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS)) return false;
      coding.scheme = FaxCoding::Scheme::Group3;
      coding.twoD = t4 & GROUP3OPT_2DENCODING;
      coding.fillBits = t4 & GROUP3OPT_FILLBITS;
      const TagValue* y = def.Find(TIFFTAG_YRESOLUTION);
      double dpi = y ? double(y->values[0]) / double(y->values[1]) : 0;
      if (def.Int(TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) == RESUNIT_CENTIMETER) dpi *= 2.54;
      coding.k = dpi > 150 ? 4 : 2;
      return true;
    }
    default:
      return false;
  }
}

// Hands the coded bytes of `strip` to libtiff (bit-reversed for FillOrder 2).
bool WriteFaxBytes(TIFF* t, FaxCoder& coder, std::uint32_t strip, bool reverse, const char* name) {
  std::span<BYTE> bytes = coder.Bytes();
  if (bytes.empty()) return true;
  if (reverse) TIFFReverseBits(bytes.data(), static_cast<tmsize_t>(bytes.size()));
  if (TIFFWriteRawStrip(t, strip, bytes.data(), static_cast<tmsize_t>(bytes.size())) !=
      static_cast<tmsize_t>(bytes.size()))
    return Fail(TW_TIFF_ERROR_ENCODE, "strip %u of %s", strip, name);
  coder.Take();
  return true;
}

}  // namespace

// ---- ImageDef -----------------------------------------------------------------

bool ImageDef::SetValue(WORD tag, WORD fieldType, DWORD value) {
  if (fieldType == kAscii) return Fail(TW_TIFF_ERROR_TAG, "tag %u: an ASCII value needs the buffer call", tag);
  if (fieldType == kRational || fieldType == kSRational) {
    DWORD pair[2] = {value, 1};
    return SetValues(tag, pair, fieldType, 1);
  }
  if (!IntegerType(fieldType)) return Fail(TW_TIFF_ERROR_TAG, "tag %u: field type %u is not taken", tag, fieldType);
  return SetValues(tag, &value, kLong, 1);
}

bool ImageDef::SetValues(WORD tag, const void* values, WORD fieldType, DWORD count) {
  const TagInfo* info = Info(tag);
  if (!info) return Fail(TW_TIFF_ERROR_TAG, "tag %u is not supported", tag);
  if (!values || count == 0 || count > kMaxValues) return Fail(TW_TIFF_ERROR_TAG, "tag %u: no values or too many", tag);
  auto* bytes = static_cast<const BYTE*>(values);

  if (info->kind == Kind::Ascii) {
    if (fieldType != kAscii && fieldType != kByte && fieldType != kUndefined)
      return Fail(TW_TIFF_ERROR_TAG, "tag %u takes ASCII text", tag);
    const BYTE* end = std::find(bytes, bytes + count, BYTE{0});
    return Store(tag, {}, false, std::string(bytes, end), true);
  }

  std::vector<std::uint32_t> numbers;
  bool rational = fieldType == kRational || fieldType == kSRational;
  if (rational) {
    if (info->kind != Kind::Rational) return Fail(TW_TIFF_ERROR_TAG, "tag %u does not take a rational", tag);
    for (DWORD i = 0; i < 2 * count; ++i) {
      std::uint32_t v;
      std::memcpy(&v, bytes + 4 * i, 4);
      numbers.push_back(v);
    }
  } else if (IntegerType(fieldType)) {
    std::size_t size = fieldType == kByte || fieldType == kSByte ? 1 : fieldType == kLong || fieldType == kSLong ? 4 : 2;
    for (DWORD i = 0; i < count; ++i) {
      std::uint32_t v = 0;
      if (size == 1) {
        v = fieldType == kSByte ? std::uint32_t(std::int32_t(std::int8_t(bytes[i]))) : bytes[i];
      } else if (size == 2) {
        std::uint16_t s;
        std::memcpy(&s, bytes + 2 * i, 2);
        v = fieldType == kSShort ? std::uint32_t(std::int32_t(std::int16_t(s))) : s;
      } else {
        std::memcpy(&v, bytes + 4 * i, 4);
      }
      numbers.push_back(v);
    }
  } else {
    return Fail(TW_TIFF_ERROR_TAG, "tag %u: field type %u is not taken", tag, fieldType);
  }
  return Store(tag, std::move(numbers), rational, {}, false);
}

bool ImageDef::Store(WORD tag, std::vector<std::uint32_t> n, bool rational, std::string text, bool isText) {
  const TagInfo* info = Info(tag);
  TagValue v;
  if (isText) {
    v.text = std::move(text);
    tags_[tag] = std::move(v);
    return true;
  }
  switch (info->kind) {
    case Kind::Short:
    case Kind::Long:
      n.resize(1);
      if (info->kind == Kind::Short && n[0] > 0xFFFF) return Fail(TW_TIFF_ERROR_TAG, "tag %u: %u is not a SHORT", tag, n[0]);
      break;
    case Kind::Shorts:
      if (n.size() > 4) return Fail(TW_TIFF_ERROR_TAG, "tag %u: too many values", tag);
      break;
    case Kind::Rational:
      if (!rational) n = {n[0], 1};
      n.resize(2);
      if (n[1] == 0) return Fail(TW_TIFF_ERROR_TAG, "tag %u: zero denominator", tag);
      break;
    case Kind::Pair:
      n.resize(2, 0);
      if (n[0] > 0xFFFF || n[1] > 0xFFFF) return Fail(TW_TIFF_ERROR_TAG, "tag %u: values are SHORTs", tag);
      break;
    case Kind::ColorMap:
      if (n.size() % 3 != 0 || n.size() > 3 * 256)
        return Fail(TW_TIFF_ERROR_TAG, "a colour map holds 3 x n values, n at most 256");
      if (std::any_of(n.begin(), n.end(), [](std::uint32_t x) { return x > 0xFFFF; }))
        return Fail(TW_TIFF_ERROR_TAG, "colour map values are SHORTs");
      break;
    case Kind::Ascii:
      break;
  }
  v.values = std::move(n);
  tags_[tag] = std::move(v);
  return true;
}

const TagValue* ImageDef::Find(WORD tag) const {
  auto it = tags_.find(tag);
  return it == tags_.end() ? nullptr : &it->second;
}

std::uint32_t ImageDef::Int(WORD tag, std::uint32_t fallback) const {
  const TagValue* v = Find(tag);
  return v && !v->values.empty() ? v->values[0] : fallback;
}

bool ImageDef::Descriptive() const {
  return std::all_of(tags_.begin(), tags_.end(), [](const auto& t) { return Info(t.first)->descriptive; });
}

// ---- encoding -------------------------------------------------------------------

std::size_t RowBufferBytes(std::uint32_t width, unsigned bitsPerPixel) {
  std::size_t packed = (std::size_t(width) * bitsPerPixel + 7) / 8;
  return std::max<std::size_t>(packed, static_cast<std::size_t>(tw::codec::DibStride(width, int(bitsPerPixel)))) + 4;
}

namespace {

// The data as libtiff sees it while it appends an image to a TIFF that has
// images: the header names no first directory, so libtiff links the new one
// there instead of walking every directory to the end of the chain, and that
// one write goes to the last directory's link. libtiff's append mode reads
// nothing but the header.
class AppendView final : public Stream {
 public:
  AppendView(Stream& data, const IfdChain& chain)
      : data_(data), headerLink_(chain.headerLink), lastLink_(chain.nextLinks.back()),
        width_(chain.bigTiff ? 8 : 4) {}
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (!data_.ReadAt(offset, buffer, size)) return false;
    std::uint64_t from = std::max(offset, headerLink_), to = std::min(offset + size, headerLink_ + width_);
    if (from < to) std::memset(static_cast<BYTE*>(buffer) + (from - offset), 0, static_cast<std::size_t>(to - from));
    return true;
  }
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
    if (offset >= headerLink_ + width_ || offset + size <= headerLink_) return data_.WriteAt(offset, data, size);
    // Only the link itself, whole, is libtiff's to write in the header.
    if (offset != headerLink_ || size != width_) return false;
    return data_.WriteAt(lastLink_, data, size);
  }
  std::uint64_t Size() const override { return data_.Size(); }
  bool Truncate(std::uint64_t size) override { return data_.Truncate(size); }

 private:
  Stream& data_;
  std::uint64_t headerLink_;
  std::uint64_t lastLink_;
  std::size_t width_;
};

}  // namespace

bool EncodeImage(Stream& stream, const ImageDef& def, const RowSource& rows, const char* name,
                 const EncodeOptions& options) {
  IfdChain chain;
  return ReadIfdChain(stream, chain) && EncodeImage(stream, chain, def, rows, name, options);
}

bool EncodeImage(Stream& stream, IfdChain& chain, const ImageDef& def, const RowSource& rows, const char* name,
                 const EncodeOptions& options) {
  Plan p;
  if (!MakePlan(def, p)) return false;
  std::vector<BYTE> in, out;
  try {
    in.assign(RowBufferBytes(p.width, unsigned(p.bps) * p.spp), 0);
    if (p.expand != Expand::None) out.assign(p.outRowBytes, 0);
  } catch (const std::bad_alloc&) {
    return Fail(TW_TIFF_ERROR_MEMORY, "no memory for a row of %u pixels", p.width);
  }
  std::optional<AppendView> view;
  if (!chain.offsets.empty()) view.emplace(stream, chain);
  LibTiff lib(view ? *view : stream, "a", name);
  TIFF* t = lib.Get();
  if (!t) return Fail(TW_TIFF_ERROR_NOT_TIFF, "libtiff cannot add an image to %s", name);
  if (!SetFields(t, def, p, options)) {
    lib.Discard();
    return false;
  }
  if (TIFFScanlineSize64(t) != p.outRowBytes) {
    lib.Discard();
    return Fail(TW_TIFF_ERROR_DEFINITION, "unexpected row size for the image's tags");
  }
  FaxCoding coding;
  std::unique_ptr<FaxCoder> coder;
  std::uint16_t fillOrder = FILLORDER_MSB2LSB;
  if (FaxCodingOf(def, p, coding)) {
    try {
      coder = std::make_unique<FaxCoder>(p.width, coding);
    } catch (const std::bad_alloc&) {
      lib.Discard();
      return Fail(TW_TIFF_ERROR_MEMORY, "no memory to code rows of %u pixels", p.width);
    }
    TIFFGetFieldDefaulted(t, TIFFTAG_FILLORDER, &fillOrder);
  }
  // Coded bytes go to libtiff in pieces of about this size.
  constexpr std::size_t kFaxChunk = std::size_t(1) << 20;
  for (std::uint32_t r = 0; r < p.height; ++r) {
    int rc = rows(in.data(), r);
    if (rc != 0) {
      lib.Discard();
      if (rc == kRowFailureReported) return false;
      return Fail(TW_TIFF_ERROR_ROW_SOURCE, "it returned %d for row %u", rc, r);
    }
    if (coder) {
      std::uint32_t strip = r / p.rowsPerStrip;
      bool last = r + 1 == p.height || (r + 1) % p.rowsPerStrip == 0;
      if (r % p.rowsPerStrip == 0) coder->BeginStrip();
      coder->AddRow(in.data());
      if (last) coder->EndStrip();
      if ((last || coder->Bytes().size() >= kFaxChunk) &&
          !WriteFaxBytes(t, *coder, strip, fillOrder == FILLORDER_LSB2MSB, name)) {
        lib.Discard();
        return false;
      }
      continue;
    }
    BYTE* line = in.data();
    if (p.expand != Expand::None) {
      ExpandRow(p, in.data(), out.data());
      line = out.data();
    }
    if (TIFFWriteScanline(t, line, r, 0) < 0) {
      lib.Discard();
      return Fail(TW_TIFF_ERROR_ENCODE, "row %u of %s", r, name);
    }
  }
  if (!TIFFWriteDirectory(t)) {
    lib.Discard();
    return Fail(TW_TIFF_ERROR_ENCODE, "cannot finish the image in %s", name);
  }
  lib.Close();
  return ExtendIfdChain(stream, chain);
}

bool EditImage(Stream& stream, std::uint32_t position, const ImageDef& edits, const char* name) {
  if (!edits.Descriptive()) return Fail(TW_TIFF_ERROR_TAG, "only descriptive tags can change on a written image");
  LibTiff lib(stream, "r+", name);
  TIFF* t = lib.Get();
  if (!t) return Fail(TW_TIFF_ERROR_NOT_TIFF, "libtiff cannot open %s for update", name);
  if (!TIFFSetDirectory(t, static_cast<tdir_t>(position))) {
    lib.Discard();
    return Fail(TW_TIFF_ERROR_IMAGE, "image %u of %s", position, name);
  }
  for (const TagInfo& info : kTags) {
    const TagValue* v = edits.Find(info.tag);
    if (v && !Apply(t, info.tag, *v)) {
      lib.Discard();
      return Fail(TW_TIFF_ERROR_TAG, "libtiff refused tag %u", info.tag);
    }
  }
  if (!TIFFRewriteDirectory(t)) {
    lib.Discard();
    return Fail(TW_TIFF_ERROR_WRITE, "cannot rewrite image %u of %s", position, name);
  }
  lib.Close();
  return true;
}

}  // namespace twtiff
