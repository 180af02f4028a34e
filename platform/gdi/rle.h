// Internal: BI_RLE8 / BI_RLE4 pixel streams, read row by row.
//
// An RLE image is never decoded whole: a stream of a hundred bytes can
// describe 16000 x 16000 pixels, and a blit needs only the rows and columns
// it samples. A first pass notes the decoder's state every so many bytes;
// a row is then decoded from the last note before it.
#pragma once
#include <cstddef>
#include <vector>

#include "wingdi.h"

namespace tw::gdi {

class RleImage {
 public:
  // `data` must outlive the object. Stream rows run from the bottom row up.
  RleImage(const BYTE* data, std::size_t size, bool rle4, int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Pixels [x0, x1) of row y (counted from the top): palette indices into
  // `values`, and 1 in `set` where the stream sets the pixel (elsewhere the
  // value is 0 and `set` 0). Rows outside the image come back unset.
  void DecodeRow(int y, int x0, int x1, DWORD* values, BYTE* set) const;

 private:
  // The decoder between two operations; y counts stream rows from the bottom.
  struct State {
    std::size_t offset = 0;
    int x = 0, y = 0;
    bool ended = false;
  };
  // Where pixels of one stream row go.
  struct Output {
    int row, x0, x1;
    DWORD* values;
    BYTE* set;
  };
  // Carries out the operation at `s`; false when the stream has ended.
  bool Step(State& s, const Output* out) const;

  const BYTE* data_;
  std::size_t size_;
  bool rle4_;
  int width_, height_;
  std::vector<State> checkpoints_;  // in stream order, so y never decreases
};

}  // namespace tw::gdi
