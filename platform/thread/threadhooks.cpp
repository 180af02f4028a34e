// The loader's thread notifier (see tw/threadhooks.h).
#include "tw/threadhooks.h"

#include <atomic>

#include "threadstate.h"

namespace tw::thread {
namespace {
std::atomic<ThreadNotifier> g_notifier{nullptr};
}  // namespace

void SetThreadNotifier(ThreadNotifier notifier) { g_notifier.store(notifier); }

ThreadNotifier CurrentNotifier() { return g_notifier.load(); }

}  // namespace tw::thread
