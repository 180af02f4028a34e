#include "core/impersonation.h"

#include <mutex>

#include <windows.h>

namespace tw::core {
namespace {

typedef HANDLE(WINAPI* PFN_RevertToPrinterSelf)(void);
typedef BOOL(WINAPI* PFN_ImpersonatePrinterClient)(HANDLE);

std::mutex g_lock;
HMODULE g_spoolss = nullptr;

FARPROC Find(const char* name) {
  std::lock_guard lock(g_lock);
  if (!g_spoolss) g_spoolss = LoadLibraryW(u"Spoolss.dll");
  return g_spoolss ? GetProcAddress(g_spoolss, name) : nullptr;
}

}  // namespace

HANDLE RevertToPrinterSelfHelper() {
  auto fn = reinterpret_cast<PFN_RevertToPrinterSelf>(Find("RevertToPrinterSelf"));
  return fn ? fn() : nullptr;
}

BOOL ImpersonatePrinterClientHelper(HANDLE token) {
  auto fn = reinterpret_cast<PFN_ImpersonatePrinterClient>(Find("ImpersonatePrinterClient"));
  return fn ? fn(token) : FALSE;
}

}  // namespace tw::core
