#include "job/job/job_observer.h"

#include <atomic>
#include <mutex>

namespace tw::job {
namespace {
std::mutex g_lock;
TW_JOB_OPERATION_HOOK g_hook = nullptr;
void* g_context = nullptr;
}  // namespace

void SetOperationHook(TW_JOB_OPERATION_HOOK hook, void* context) {
  std::lock_guard lock(g_lock);
  g_hook = hook;
  g_context = context;
}

void NotifyOperation(const WCHAR* operation, DWORD arg) {
  std::lock_guard lock(g_lock);
  if (g_hook) g_hook(g_context, operation, arg);
}

}  // namespace tw::job
