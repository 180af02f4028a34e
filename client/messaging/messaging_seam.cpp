// Stand-in for the messaging interface until it is built.
#include "client/messaging/messaging.h"

BOOL SendMessageToClients(CTWJob&, DWORD, const WCHAR*) { return TRUE; }
