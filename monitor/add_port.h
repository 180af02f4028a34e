// Adding a port: the name comes from "TwMonitor.ini" or from the user.
#pragma once

#include "tw/wintypes.h"

#define IDD_ADD_PORT 103
#define IDI_ADD_PORT 104
#define IDC_PORT_NAME 1001

namespace tw::monitor {
// The caller's port name is only logged. FALSE when no name was given or the
// port exists already.
BOOL devAddPort(LPCWSTR callerName);
}  // namespace tw::monitor
