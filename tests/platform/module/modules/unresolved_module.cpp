// A module that needs a function nobody provides: loading it must fail.
#include "tw/modulekit.h"
#include "windows.h"

extern "C" int TwNobodyProvidesThis(int);

TW_EXPORT int WINAPI TwUsesTheMissingFunction(int x) { return TwNobodyProvidesThis(x); }
