// Attach and detach of TarnwickMon.dll, its resources and its diagnostic hook.
#include <windows.h>
#include <winuser.h>

#include "job/job/job_observer.h"
#include "monitor/add_port.h"
#include "core/log/event_messages.h"
#include "core/log/tw_log.h"
#include "monitor/monitor_globals.h"
#include "core/thread_state.h"
#include "output/gif/gif_writer.h"
#include "output/png/png_codec.h"
#include "tw/modulekit.h"

TW_RESOURCES(EventMessageTable(),
             tw::res::Strings({{tw::monitor::IDS_MONITOR_NAME_PDF, u"Tarnwick Port Monitor"}}),
             tw::res::Dialog(IDD_ADD_PORT, tw::res::DialogTemplate(u"Add Tarnwick Port", {0, 0, 186, 62})
                                               .Icon(IDI_ADD_PORT, {7, 7, 21, 20})
                                               .Static(u"Enter port name:", {36, 7, 120, 8})
                                               .Edit(IDC_PORT_NAME, {36, 18, 143, 14})
                                               .DefButton(u"OK", IDOK, {75, 40, 50, 14})
                                               .Button(u"Cancel", IDCANCEL, {129, 40, 50, 14})));

using tw::monitor::Globals;

TW_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (!TwGIFMain(instance, reason)) LogInstall(u"DllMain: ERROR: TwGIFMain failed!");
  if (!TwPNGMain(reason)) LogInstall(u"DllMain: ERROR: TwPNGMain failed!");
  auto& g = Globals();
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      InitializeCriticalSectionAndSpinCount(&g.csOcrLoad, 1024);
      InitializeCriticalSectionAndSpinCount(&g.csSpare, 1024);
      g.criticalSectionsMade = true;
      g.hModule = instance;
      if (!tw::core::ThreadStateAttachProcess()) return FALSE;
      // The library keeps going without a block; the thread gets one on first use.
      tw::core::ThreadStateAttachThread();
      return TRUE;
    case DLL_THREAD_ATTACH:
      tw::core::ThreadStateAttachThread();
      return TRUE;
    case DLL_THREAD_DETACH:
      tw::core::ThreadStateDetachThread();
      return TRUE;
    case DLL_PROCESS_DETACH:
      tw::core::ThreadStateDetachProcess();
      if (g.criticalSectionsMade) {
        DeleteCriticalSection(&g.csOcrLoad);
        DeleteCriticalSection(&g.csSpare);
        g.criticalSectionsMade = false;
      }
      return TRUE;
    default:
      return TRUE;
  }
}

TW_EXPORT BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Globals().hModule = instance;
  return TRUE;
}

// Diagnostics: a hook that sees every job operation the command stream runs
// (the spooler host and tests use it to show a job's path).
TW_EXPORT VOID WINAPI TwSetJobOperationHook(TW_JOB_OPERATION_HOOK hook, void* context) {
  tw::job::SetOperationHook(hook, context);
}
