// Internal: the PNG library's per-thread error state and the libpng message
// hand-over used by its reader and writer.
#pragma once
#include <png.h>

#include "output/png/png_codec.h"

namespace tw::png {

// Sets the thread's error index and its text (`detail`, when given, instead
// of the index's own text). Returns the index.
int SetError(int index, const char* detail = nullptr);

// libpng's message of the failing call, and what its handlers need.
struct LibpngMessage {
  char text[TW_PNG_ERROR_TEXT_SIZE];
};
// The error handler (copies the message, longjmps to the armed setjmp) and
// the warning handler (drops it), for png_create_*_struct.
void OnLibpngError(png_structp png, png_const_charp message);
void OnLibpngWarning(png_structp png, png_const_charp message);

}  // namespace tw::png
