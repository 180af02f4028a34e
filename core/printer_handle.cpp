#include "core/printer_handle.h"

#include <utility>

#include <windows.h>
#include <winspool.h>

namespace tw::core {
namespace {

// The call into a first buffer that fits most answers, again at the size
// asked for when it did not fit (the answer may grow in between);
// `slack` extra bytes for answers that need them. The spooler reads its
// store on every call: one call instead of two for the usual answer.
template <typename Query>
std::vector<BYTE> SizeThenFetch(Query query, DWORD slack = 0) {
  constexpr DWORD kFirstGuess = 4096;
  std::vector<BYTE> info(kFirstGuess, 0);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD needed = 0;
    // The whole block is kept: an answer may place its strings anywhere in it.
    if (query(info.data(), static_cast<DWORD>(info.size()), &needed)) {
      if (static_cast<size_t>(needed) + slack <= info.size()) return info;
    } else if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
      return {};
    }
    info.assign(static_cast<size_t>(needed) + slack, 0);
  }
  return {};
}

}  // namespace

PrinterHandle::PrinterHandle(const WCHAR* printerName) {
  if (!printerName) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return;
  }
  if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &handle_, nullptr)) handle_ = nullptr;
}

PrinterHandle::~PrinterHandle() { Close(); }

PrinterHandle::PrinterHandle(PrinterHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

PrinterHandle& PrinterHandle::operator=(PrinterHandle&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void PrinterHandle::Close() {
  if (handle_) ClosePrinter(std::exchange(handle_, nullptr));
}

std::vector<BYTE> PrinterHandle::QueryJob(DWORD jobId, DWORD level) const {
  if (!handle_) return {};
  return SizeThenFetch(
      [&](BYTE* buffer, DWORD size, DWORD* needed) { return GetJobW(handle_, jobId, level, buffer, size, needed); });
}

std::vector<BYTE> PrinterHandle::QueryPrinter(DWORD level) const {
  if (!handle_) return {};
  return SizeThenFetch(
      [&](BYTE* buffer, DWORD size, DWORD* needed) { return GetPrinterW(handle_, level, buffer, size, needed); });
}

std::vector<BYTE> PrinterHandle::QueryDriver(DWORD level) const {
  if (!handle_) return {};
  return SizeThenFetch(
      [&](BYTE* buffer, DWORD size, DWORD* needed) {
        return GetPrinterDriverW(handle_, nullptr, level, buffer, size, needed);
      },
      4);
}

BOOL PrinterHandle::ControlJob(DWORD jobId, DWORD command) const {
  if (!handle_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return SetJobW(handle_, jobId, 0, nullptr, command);
}

}  // namespace tw::core
