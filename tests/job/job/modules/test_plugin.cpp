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

}  // namespace

TW_EXPORT BOOL WINAPI TwStartDoc(TarnwickDEVMODE* dm, ULONGLONG* context1, ULONGLONG* context2) {
  Record("TwStartDoc " + Describe(dm));
  if (context1) *context1 = 0x5157;
  if (context2) *context2 = 0;
  return std::getenv("TW_TEST_PLUGIN_REFUSE") ? FALSE : TRUE;
}
TW_EXPORT BOOL WINAPI TwStartPage(TarnwickDEVMODE* dm, ULONGLONG context) {
  Record("TwStartPage " + Describe(dm) + " " + std::to_string(context));
  return TRUE;
}
TW_EXPORT BOOL WINAPI TwEndPage(TarnwickDEVMODE* dm, ULONGLONG context, DWORD page) {
  Record("TwEndPage " + Describe(dm) + " " + std::to_string(context) + " " + std::to_string(page));
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
