// The calling thread's last error of the library (code and text), and the
// capture of libtiff's own messages into it.
#pragma once
#include <tiffio.h>

#include "tw_tiff_api.h"

namespace twtiff {

// Sets the thread's error: the code and "<general text>: <detail>", followed
// by libtiff's message when one was captured since the operation began.
// Returns false, so that failure paths read `return Fail(...)`.
bool Fail(int code, const char* detailFormat, ...) __attribute__((format(printf, 2, 3)));

int LastError();

// The thread's error kept across clean-up calls that might replace it.
class KeepError {
 public:
  KeepError();
  ~KeepError();
  KeepError(const KeepError&) = delete;
  KeepError& operator=(const KeepError&) = delete;

 private:
  int code_;
  char text_[TW_TIFF_ERROR_TEXT_SIZE];
};
void SetLastTiffError(int code);
// Copies the text of `code` into buffer (TW_TIFF_ERROR_TEXT_SIZE bytes).
int ErrorText(char* buffer, int code);

// Forgets libtiff's messages; each exported operation starts with it.
void BeginOperation();

// Options for TIFFClientOpenExt that route libtiff's errors into the thread's
// capture (warnings are dropped) and bound libtiff's single allocations.
// Freed with TIFFOpenOptionsFree.
TIFFOpenOptions* NewOpenOptions();

}  // namespace twtiff
