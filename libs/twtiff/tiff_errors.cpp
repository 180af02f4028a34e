#include "tiff_errors.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace twtiff {
namespace {

// Plain arrays: thread_local storage with trivial destruction is safe in a
// module that is loaded and unloaded while threads live on.
struct ThreadError {
  int code;
  char text[TW_TIFF_ERROR_TEXT_SIZE];
  char libtiff[512];
};
thread_local ThreadError t_error;

// libtiff allocations above this are refused (a corrupt header must not make
// it reserve gigabytes).
constexpr tmsize_t kMaxLibtiffAlloc = tmsize_t(512) << 20;

const char* CodeText(int code) {
  switch (code) {
    case TW_TIFF_ERROR_NONE: return "No error";
    case TW_TIFF_ERROR_ARGUMENT: return "Invalid argument";
    case TW_TIFF_ERROR_OPEN: return "Cannot open the TIFF file";
    case TW_TIFF_ERROR_NOT_TIFF: return "Not a readable TIFF";
    case TW_TIFF_ERROR_MEMORY: return "Out of memory";
    case TW_TIFF_ERROR_IMAGE: return "No such image";
    case TW_TIFF_ERROR_TAG: return "Tag not accepted";
    case TW_TIFF_ERROR_DEFINITION: return "Invalid image definition";
    case TW_TIFF_ERROR_ENCODE: return "Cannot encode the image";
    case TW_TIFF_ERROR_WRITE: return "Cannot write the TIFF data";
    case TW_TIFF_ERROR_DECODE: return "Cannot read the image";
    case TW_TIFF_ERROR_UNSUPPORTED: return "Image kind not supported";
    case TW_TIFF_ERROR_DIB: return "Invalid page bitmap";
    case TW_TIFF_ERROR_NOT_AVAILABLE: return "Operation not available in this library";
    case TW_TIFF_ERROR_ROW_SOURCE: return "The row function failed";
  }
  return "Unknown TIFF library error";
}

void Append(char* buffer, size_t size, const char* text) {
  size_t used = std::strlen(buffer);
  if (used + 1 < size) std::snprintf(buffer + used, size - used, "%s", text);
}

int CaptureLibtiff(TIFF*, void*, const char* module, const char* format, va_list args) {
  char message[384];
  std::vsnprintf(message, sizeof message, format, args);
  char line[sizeof message + 64];
  std::snprintf(line, sizeof line, "%s%s%s", module && *module ? module : "", module && *module ? ": " : "",
                message);
  // The first message is the most specific; later ones follow it.
  if (t_error.libtiff[0]) Append(t_error.libtiff, sizeof t_error.libtiff, "; ");
  Append(t_error.libtiff, sizeof t_error.libtiff, line);
  return 1;  // handled: nothing goes to libtiff's process-wide handler
}

int DropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

bool Fail(int code, const char* detailFormat, ...) {
  char detail[640];
  va_list args;
  va_start(args, detailFormat);
  std::vsnprintf(detail, sizeof detail, detailFormat, args);
  va_end(args);
  t_error.code = code;
  std::snprintf(t_error.text, sizeof t_error.text, "%s: %s", CodeText(code), detail);
  if (t_error.libtiff[0]) {
    Append(t_error.text, sizeof t_error.text, " (libtiff: ");
    Append(t_error.text, sizeof t_error.text, t_error.libtiff);
    Append(t_error.text, sizeof t_error.text, ")");
  }
  return false;
}

int LastError() { return t_error.code; }

KeepError::KeepError() : code_(t_error.code) { std::memcpy(text_, t_error.text, sizeof text_); }

KeepError::~KeepError() {
  t_error.code = code_;
  std::memcpy(t_error.text, text_, sizeof text_);
}

void SetLastTiffError(int code) {
  t_error.code = code;
  t_error.text[0] = '\0';
}

int ErrorText(char* buffer, int code) {
  const char* text = code == t_error.code && t_error.text[0] ? t_error.text : CodeText(code);
  int n = std::snprintf(buffer, TW_TIFF_ERROR_TEXT_SIZE, "%s", text);
  return n < TW_TIFF_ERROR_TEXT_SIZE ? n : TW_TIFF_ERROR_TEXT_SIZE - 1;
}

void BeginOperation() { t_error.libtiff[0] = '\0'; }

TIFFOpenOptions* NewOpenOptions() {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, &CaptureLibtiff, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, &DropWarning, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxLibtiffAlloc);
  return options;
}

}  // namespace twtiff
