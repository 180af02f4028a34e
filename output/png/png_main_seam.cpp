// Stand-in for the PNG writer library's attach/detach routine until it is built.
#include "tw/wintypes.h"

BOOL TwPNGMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
