// Internal: the hook through which the module loader learns about threads
// made by CreateThread, so it can send DLL_THREAD_ATTACH / DLL_THREAD_DETACH
// to every loaded module, as Windows does.
//
// The notifier runs on the new thread itself: with attach = true before the
// thread's start routine, with attach = false after the start routine returned
// or the thread called ExitThread. It is not called for the process's main
// thread or for threads made without CreateThread (those get
// DLL_PROCESS_ATTACH / DETACH only, or nothing, as on Windows).
#pragma once
#include "tw/wintypes.h"

namespace tw::thread {

using ThreadNotifier = void (*)(bool attach);

// Registers the notifier (one per process; the loader's). Null removes it.
// Threads already running keep getting their detach call if they got the
// attach call.
TWCPPAPI void SetThreadNotifier(ThreadNotifier notifier);

}  // namespace tw::thread
