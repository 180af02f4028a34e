#include "monitor/monitor_globals.h"

namespace tw::monitor {
MonitorGlobals& Globals() {
  static MonitorGlobals globals;
  return globals;
}
}  // namespace tw::monitor
