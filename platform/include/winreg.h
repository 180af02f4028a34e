// Registry API (declarations added by the registry area).
#pragma once
#include "tw/wintypes.h"
