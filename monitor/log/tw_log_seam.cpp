// Stand-in for the logging functions until the logs themselves are built:
// every call site is in place, nothing is written yet.
#include "monitor/log/tw_log.h"

void Trace(const WCHAR*, ...) {}
void LogInstall(const WCHAR*, ...) {}
void LogMessageCapture(int, const WCHAR*, ...) {}
