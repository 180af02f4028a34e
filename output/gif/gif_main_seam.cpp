// Stand-in for the GIF writer library's attach/detach routine until it is built.
#include "tw/wintypes.h"

BOOL TwGIFMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
