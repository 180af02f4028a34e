// Stand-in for printer forwarding until it is built.
#include "client/forward/forwarding.h"

BOOL WriteEndDocForPrinterForwardingToRegistry(CTWJob&) { return TRUE; }
BOOL WriteNoRedirectMsgForPrinterForwardingToRegistry(CTWJob&) { return TRUE; }
