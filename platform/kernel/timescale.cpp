#include "tw/timescale.h"

#include <cmath>
#include <cstdlib>

#include "winerror.h"

namespace tw::timescale {

double Factor() {
  static const double factor = [] {
    const char* text = std::getenv("TW_TIME_SCALE");
    if (!text || !*text) return 1.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    return (end != text && value > 0 && std::isfinite(value)) ? value : 1.0;
  }();
  return factor;
}

DWORD Scale(DWORD milliseconds) {
  if (milliseconds == INFINITE || milliseconds == 0) return milliseconds;
  double scaled = std::ceil(milliseconds * Factor());
  if (scaled >= static_cast<double>(INFINITE - 1)) return INFINITE - 1;
  return scaled < 1 ? 1 : static_cast<DWORD>(scaled);
}

}  // namespace tw::timescale
