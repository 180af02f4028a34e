// A module without DllMain and without resources.
#include "tw/modulekit.h"
#include "windows.h"

TW_EXPORT int WINAPI TwPlainValue() { return 42; }
