// Internal: time control for tests. TW_TIME_SCALE (e.g. 0.01) shortens Sleep
// and every finite wait; the product keeps its real waits (60 s, 1 h, ...)
// in its code and the layer scales them here.
#pragma once
#include "tw/wintypes.h"

namespace tw::timescale {

// The factor from TW_TIME_SCALE (default 1).
TWCPPAPI double Factor();
// A timeout in milliseconds after scaling; INFINITE stays INFINITE, a non-zero
// timeout never becomes zero.
TWCPPAPI DWORD Scale(DWORD milliseconds);

}  // namespace tw::timescale
