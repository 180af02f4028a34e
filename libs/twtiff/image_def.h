// An image definition (the tags a caller collects before encoding) and the
// encoder that turns it and a row source into a new image at the end of a
// TIFF, or edits an image already there.
#pragma once
#include <windows.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ifd_chain.h"
#include "tiff_stream.h"

namespace twtiff {

struct TagValue {
  std::vector<std::uint32_t> values;  // integers; a rational as numerator, denominator
  std::string text;                    // ASCII tags
};

class ImageDef {
 public:
  // DefineTiffImageInfo: one value of a field type.
  bool SetValue(WORD tag, WORD fieldType, DWORD value);
  // DefineTiffImageInfoBuffer: `count` values of a field type.
  bool SetValues(WORD tag, const void* values, WORD fieldType, DWORD count);

  const TagValue* Find(WORD tag) const;
  std::uint32_t Int(WORD tag, std::uint32_t fallback) const;
  // Only tags that may be changed on an image already written.
  bool Descriptive() const;
  bool Empty() const { return tags_.empty(); }

 private:
  bool Store(WORD tag, std::vector<std::uint32_t> numbers, bool rational, std::string text, bool isText);
  std::map<WORD, TagValue> tags_;
};

// The largest image side the library writes (pixels).
inline constexpr std::uint32_t kMaxImageSide = 1u << 20;

struct EncodeOptions {
  int jpegQuality = 75;
};

// Fills `row` with image row `rowNumber` (0 = top); 0 to go on. A source
// that has already set the thread's error returns kRowFailureReported.
using RowSource = std::function<int(BYTE* row, std::uint32_t rowNumber)>;
inline constexpr int kRowFailureReported = INT_MIN;

// The bytes a row buffer handed to a row source holds at least.
std::size_t RowBufferBytes(std::uint32_t width, unsigned bitsPerPixel);

// Appends the image to the TIFF in `stream` (which may be empty). On failure
// nothing is linked into the chain; data already appended stays unreferenced.
bool EncodeImage(Stream& stream, const ImageDef& def, const RowSource& rows, const char* name,
                 const EncodeOptions& options = {});
// The same with the data's chain as read before (a file adding page after
// page keeps it): nothing before the last directory is read again. On
// success the chain holds the new image.
bool EncodeImage(Stream& stream, IfdChain& chain, const ImageDef& def, const RowSource& rows, const char* name,
                 const EncodeOptions& options = {});

// Applies descriptive tags to the image at `position` (its directory is
// rewritten at the end of the data and relinked).
bool EditImage(Stream& stream, std::uint32_t position, const ImageDef& edits, const char* name);

}  // namespace twtiff
