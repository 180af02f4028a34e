#include "output/png/png_errors.h"

#include <cstdio>
#include <cstring>

#include "output/common/per_thread_block.h"

namespace {

struct PNG_THREAD_STATE {
  char szLastError[TW_PNG_ERROR_TEXT_SIZE];
  int nLastError;
};
tw::output::PerThreadBlock<PNG_THREAD_STATE> g_threadState;

const char* IndexText(int index) {
  switch (index) {
    case TW_PNG_ERROR_NONE: return "No error";
    case TW_PNG_ERROR_CREATE: return "Unable to create file";
    case TW_PNG_ERROR_NOT_FOUND: return "File not found";
    case TW_PNG_ERROR_MEMORY: return "Not enuogh memory";
    case TW_PNG_ERROR_DIB: return "Invalid bitmap or DIB handle";
    case TW_PNG_ERROR_CREATE_DIB: return "Unable to create DIB";
    case TW_PNG_ERROR_GET_DIB: return "Unable to get DIB";
    case TW_PNG_ERROR_PALETTE: return "Palette missing";
    case TW_PNG_ERROR_DEPTH: return "Unsupported bit depth or alpha channel exist";
    default: return "";
  }
}

}  // namespace

namespace tw::png {

int SetError(int index, const char* detail) {
  if (PNG_THREAD_STATE* state = g_threadState.Get()) {
    state->nLastError = index;
    std::snprintf(state->szLastError, sizeof state->szLastError, "%s", detail ? detail : IndexText(index));
  }
  return index;
}

void OnLibpngError(png_structp png, png_const_charp message) {
  if (auto* out = static_cast<LibpngMessage*>(png_get_error_ptr(png)))
    std::snprintf(out->text, sizeof out->text, "%s", message ? message : "libpng error");
  png_longjmp(png, 1);
}

void OnLibpngWarning(png_structp, png_const_charp) {}

}  // namespace tw::png

BOOL TwPNGMain(DWORD reason) { return g_threadState.OnReason(reason); }

int GetPNGLastError(LPSTR text) {
  PNG_THREAD_STATE* state = g_threadState.Get();
  if (!state) {
    if (text) std::snprintf(text, TW_PNG_ERROR_TEXT_SIZE, "%s", IndexText(TW_PNG_ERROR_MEMORY));
    return TW_PNG_ERROR_MEMORY;
  }
  // A thread's block starts zero-filled: no error yet.
  if (text)
    std::snprintf(text, TW_PNG_ERROR_TEXT_SIZE, "%s",
                  state->szLastError[0] ? state->szLastError : IndexText(state->nLastError));
  return state->nLastError;
}
