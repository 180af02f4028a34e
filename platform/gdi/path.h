// Internal: a DC's path (BeginPath ... EndPath), kept in device coordinates
// as the calls add to it, as GDI does.
#pragma once
#include <vector>

#include "wingdi.h"

namespace tw::gdi {

struct PathPoint {
  double x, y;
  BYTE type;  // PT_MOVETO, PT_LINETO, PT_BEZIERTO, possibly | PT_CLOSEFIGURE
};

struct Path {
  enum class State { None, Open, Closed };
  State state = State::None;
  std::vector<PathPoint> points;

  bool Building() const { return state == State::Open; }
  void Clear() {
    state = State::None;
    points.clear();
  }
};

}  // namespace tw::gdi
