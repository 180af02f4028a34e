// The module the loader tests load: records its DllMain calls, exports by
// name and by ordinal, and carries every kind of resource of the module
// convention. Built twice: TwTestMod.dll, and TwFailInit.dll whose DllMain
// refuses the process attach.
#include <unistd.h>

#include <fstream>

#include "tw/modulekit.h"
#include "tw/root.h"
#include "windows.h"

namespace {

HINSTANCE g_self = nullptr;
int g_calls = 0;

// One line per DllMain call, "<reason> <thread id>", in the machine root's
// log folder, where the test reads them (the module may be gone by then).
void record(const char* reason) {
  std::ofstream out(tw::root::Path("log/module_events.log"), std::ios::app);
  out << reason << ' ' << gettid() << '\n';
}

int WINAPI Multiply(int a, int b) { return a * b; }  // exported by ordinal only

const BYTE kConfig[] = {'c', 'f', 'g', 0, 1, 2, 3};
const BYTE kFive[] = {5, 5, 5, 5, 5};

}  // namespace

TW_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      g_self = instance;
      record("process_attach");
#ifdef TW_TEST_FAIL_INIT
      return FALSE;
#else
      return TRUE;
#endif
    case DLL_PROCESS_DETACH:
      record("process_detach");
      return TRUE;
    case DLL_THREAD_ATTACH:
      record("thread_attach");
      return TRUE;
    case DLL_THREAD_DETACH:
      record("thread_detach");
      return TRUE;
  }
  return FALSE;
}

TW_EXPORT int WINAPI TwAdd(int a, int b) { return a + b; }
TW_EXPORT HINSTANCE WINAPI TwSelf() { return g_self; }
// Counts calls in this instance of the module (each file is its own instance).
TW_EXPORT int WINAPI TwCount() { return ++g_calls; }

TW_ORDINAL(5, Multiply);
TW_ORDINAL(7, TwAdd);

TW_RESOURCES(
    tw::res::Strings({{1, u"First"}, {10, u"Tarnwick Port Monitor"}, {15, u"End of block one"}, {17, u"Block two"},
                      {35, u""}}),
    tw::res::Strings({{10, u"Tarnwick Anschlussmonitor"}}, 0x0407),
    tw::res::Dialog(103, tw::res::DialogTemplate(u"Add Tarnwick Port", {0, 0, 186, 62})
                             .Icon(104, {7, 7, 21, 20})
                             .Static(u"Enter port name:", {36, 7, 120, 8})
                             .Edit(1001, {36, 18, 143, 14})
                             .DefButton(u"OK", 1, {75, 40, 50, 14})
                             .Button(u"Cancel", 2, {129, 40, 50, 14})),
    tw::res::MessageTable({{0x64, u"Printing finished successfully%nPrinter name:\t%1\r\n"},
                           {0x65, u"Printing was aborted%n\r\n"},
                           {0x66, u"Error during printing%nError:\t%11\r\n"},
                           {0x200, u"Far away"}}),
    tw::res::MessageTable({{0x64, u"Druck beendet\r\n"}}, 0x0407),
    tw::res::RcData(u"CONFIG", kConfig), tw::res::RcData(5, kFive));
