// Stand-in for the messaging interface until it is built.
#include "client/messaging/messaging.h"

BOOL SendDEVMODEPipeMessage(CTWJob&, TarnwickDEVMODE&, BOOL) { return TRUE; }
BOOL SendMessageToClients(CTWJob&, DWORD message, const WCHAR* text) {
  NotifyClientMessage(message, text);
  return TRUE;
}
// No preview runs, so none can have been aborted.
BOOL PreviewAbortEventExists(CTWJob&) { return FALSE; }
BOOL SendPreviewOverlay(CTWJob&) { return TRUE; }
BOOL SendInMemoryDocument(CTWJob&) { return TRUE; }
BOOL SendPreviewPage(CTWJob&, HGLOBAL) { return TRUE; }
BOOL SendInMemoryPage(CTWJob&, HGLOBAL image) {
  NotifyClientImage(image);
  return TRUE;
}
