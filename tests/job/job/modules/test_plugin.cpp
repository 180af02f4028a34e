#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>

#include "job/devmode/tarnwick_devmode.h"
#include "tw/modulekit.h"
#include "tw/utf.h"

namespace {

void Record(const std::string& line) {
  const char* path = std::getenv("TW_TEST_PLUGIN_LOG");
  if (!path || !*path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string Describe(const TarnwickDEVMODE* dm) {
  if (!dm) return "null";
  return tw::ToUtf8(dm->DM.dmDeviceName.Get()) + " " + std::to_string(dm->PaperWidthInPixels) + "x" +
         std::to_string(dm->PaperHeightInPixels);
}

// The number of TwStartPage calls of the document.
DWORD g_startPages = 0;

DWORD EnvNumber(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? static_cast<DWORD>(std::strtoul(v, nullptr, 10)) : 0;
}

// Sets "Abort Job" = 1 under HKEY_CURRENT_USER\<TW_TEST_PLUGIN_ABORT_KEY>,
// as a user cancelling the job while it prints.
void AbortJob() {
  const char* key = std::getenv("TW_TEST_PLUGIN_ABORT_KEY");
  if (!key || !*key) return;
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, tw::FromUtf8(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    return;
  DWORD one = 1;
  RegSetValueExW(h, u"Abort Job", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  RegCloseKey(h);
}

}  // namespace

// Switches: TW_TEST_PLUGIN_REFUSE refuses the document, TW_TEST_PLUGIN_REFUSE_PAGE=N
// the N-th page (TwStartPage), TW_TEST_PLUGIN_ABORT_PAGE=N cancels the job at
// the end of page N (with TW_TEST_PLUGIN_ABORT_KEY naming the job's key).
TW_EXPORT BOOL WINAPI TwStartDoc(TarnwickDEVMODE* dm, ULONGLONG* context1, ULONGLONG* context2) {
  Record("TwStartDoc " + Describe(dm));
  g_startPages = 0;
  if (context1) *context1 = 0x5157;
  if (context2) *context2 = 0;
  return std::getenv("TW_TEST_PLUGIN_REFUSE") ? FALSE : TRUE;
}
TW_EXPORT BOOL WINAPI TwStartPage(TarnwickDEVMODE* dm, ULONGLONG context) {
  Record("TwStartPage " + Describe(dm) + " " + std::to_string(context));
  return ++g_startPages != EnvNumber("TW_TEST_PLUGIN_REFUSE_PAGE");
}
TW_EXPORT BOOL WINAPI TwEndPage(TarnwickDEVMODE* dm, ULONGLONG context, DWORD page) {
  Record("TwEndPage " + Describe(dm) + " " + std::to_string(context) + " " + std::to_string(page));
  if (page == EnvNumber("TW_TEST_PLUGIN_ABORT_PAGE")) AbortJob();
  return TRUE;
}
TW_EXPORT BOOL WINAPI TwEndDoc(TarnwickDEVMODE* dm, ULONGLONG context, const WCHAR*) {
  Record("TwEndDoc " + Describe(dm) + " " + std::to_string(context));
  return TRUE;
}
TW_EXPORT BOOL WINAPI TwAbort(TarnwickDEVMODE* dm, ULONGLONG context) {
  Record("TwAbort " + Describe(dm) + " " + std::to_string(context));
  return TRUE;
}
