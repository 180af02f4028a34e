// Messages to the client applications of a job.
#pragma once

#include "tw/wintypes.h"

class CTWJob;

// Message numbers: 1 document started, 3 page written, 4 document finished, 5 error.
BOOL SendMessageToClients(CTWJob& job, DWORD message, const WCHAR* text);
