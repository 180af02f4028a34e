// Private to the thread area: state shared between its source files.
#pragma once
#include "tw/threadhooks.h"

namespace tw::thread {

// The registered loader notifier, or null.
ThreadNotifier CurrentNotifier();

}  // namespace tw::thread
