// The hook on the messages a job sends to its clients.
#include <mutex>

#include "client/messaging/messaging.h"

namespace {
std::mutex g_lock;
TW_CLIENT_MESSAGE_HOOK g_hook = nullptr;
void* g_context = nullptr;
TW_CLIENT_IMAGE_HOOK g_imageHook = nullptr;
void* g_imageContext = nullptr;
}  // namespace

void SetClientMessageHook(TW_CLIENT_MESSAGE_HOOK hook, void* context) {
  std::lock_guard lock(g_lock);
  g_hook = hook;
  g_context = context;
}

void NotifyClientMessage(DWORD message, const WCHAR* text) {
  std::lock_guard lock(g_lock);
  if (g_hook) g_hook(g_context, message, text);
}

void SetClientImageHook(TW_CLIENT_IMAGE_HOOK hook, void* context) {
  std::lock_guard lock(g_lock);
  g_imageHook = hook;
  g_imageContext = context;
}

void NotifyClientImage(HGLOBAL image) {
  std::lock_guard lock(g_lock);
  if (g_imageHook) g_imageHook(g_imageContext, image);
}
