// (declarations added by the area that builds it)
#pragma once
#include "tw/wintypes.h"
