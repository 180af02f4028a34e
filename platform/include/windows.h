// The Win32 subset of libtwplatform.so. Modules include this one header, as
// they would on Windows; the area headers below hold the declarations.
#pragma once

#include "tw/wintypes.h"
#include "winerror.h"

#include "tw/lasterror.h"
#include "tw/memory.h"
#include "tw/handles.h"
#include "tw/wcrt.h"
#include "tw/nls.h"
#include "tw/time.h"
#include "tw/sync.h"
#include "tw/thread.h"
#include "tw/module.h"
#include "tw/sysinfo.h"
#include "tw/security.h"
#include "tw/file.h"
#include "tw/profile.h"
#include "tw/eventlog.h"
#include "tw/debugout.h"
#include "winreg.h"
#include "wingdi.h"
#include "winuser.h"
#include "winspool.h"
#include "winsplp.h"
