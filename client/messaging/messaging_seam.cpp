// Stand-in for the messaging interface until it is built.
#include "client/messaging/messaging.h"

BOOL SendDEVMODEPipeMessage(CTWJob&, TarnwickDEVMODE&, BOOL) { return TRUE; }
BOOL SendMessageToClients(CTWJob&, DWORD, const WCHAR*) { return TRUE; }
