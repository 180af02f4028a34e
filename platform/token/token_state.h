// Private to the token area: the calling thread's impersonation, for the
// spooler's pair.
#pragma once
#include "tw/wintypes.h"

namespace tw::token {

// Impersonates with an impersonation token handle (ERROR_BAD_TOKEN_TYPE for
// a primary one).
BOOL impersonate(HANDLE tokenHandle);
// A new handle to the thread's impersonation token, which the thread then
// stops impersonating; null with ERROR_NO_TOKEN when there is none.
HANDLE takeImpersonation();

}  // namespace tw::token
