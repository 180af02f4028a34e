// Internal: 2-D affine transforms in the XFORM convention
//   x' = x * m11 + y * m21 + dx,  y' = x * m12 + y * m22 + dy
// kept in double precision; XFORM (float) only at the API boundary.
#pragma once
#include <cmath>

#include "wingdi.h"

namespace tw::gdi {

struct Matrix {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

  static Matrix FromXform(const XFORM& x) { return {x.eM11, x.eM12, x.eM21, x.eM22, x.eDx, x.eDy}; }
  XFORM ToXform() const {
    return {static_cast<FLOAT>(m11), static_cast<FLOAT>(m12), static_cast<FLOAT>(m21),
            static_cast<FLOAT>(m22), static_cast<FLOAT>(dx),  static_cast<FLOAT>(dy)};
  }
  static Matrix Translate(double x, double y) { return {1, 0, 0, 1, x, y}; }
  static Matrix Scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }

  // This transform followed by `then` (CombineTransform(out, this, then)).
  Matrix Then(const Matrix& then) const {
    return {m11 * then.m11 + m12 * then.m21,       m11 * then.m12 + m12 * then.m22,
            m21 * then.m11 + m22 * then.m21,       m21 * then.m12 + m22 * then.m22,
            dx * then.m11 + dy * then.m21 + then.dx, dx * then.m12 + dy * then.m22 + then.dy};
  }
  void Apply(double x, double y, double& ox, double& oy) const {
    ox = x * m11 + y * m21 + dx;
    oy = x * m12 + y * m22 + dy;
  }
  // Applies the linear part only (vectors, offsets, pen widths).
  void ApplyVector(double x, double y, double& ox, double& oy) const {
    ox = x * m11 + y * m21;
    oy = x * m12 + y * m22;
  }
  double Determinant() const { return m11 * m22 - m12 * m21; }
  bool Invert(Matrix& out) const {
    double det = Determinant();
    if (det == 0 || !std::isfinite(det)) return false;
    out.m11 = m22 / det;
    out.m12 = -m12 / det;
    out.m21 = -m21 / det;
    out.m22 = m11 / det;
    out.dx = (m21 * dy - m22 * dx) / det;
    out.dy = (m12 * dx - m11 * dy) / det;
    return true;
  }
  bool IsIdentity() const { return m11 == 1 && m12 == 0 && m21 == 0 && m22 == 1 && dx == 0 && dy == 0; }
  // No rotation or shear: rectangles stay rectangles (possibly mirrored).
  bool IsAxisAligned() const { return m12 == 0 && m21 == 0; }
  // A quarter turn (possibly mirrored and scaled): rectangles stay rectangles.
  bool IsQuarterTurn() const { return m11 == 0 && m22 == 0; }
  bool operator==(const Matrix& o) const {
    return m11 == o.m11 && m12 == o.m12 && m21 == o.m21 && m22 == o.m22 && dx == o.dx && dy == o.dy;
  }
};

// Device coordinates are whole pixels: GDI rounds transformed points to the
// nearest integer, halves away from minus infinity (floor(v + 0.5)).
inline LONG RoundToDevice(double v) {
  if (!(v > -1e9)) return -1000000000;  // also catches NaN
  if (v > 1e9) return 1000000000;
  return static_cast<LONG>(std::floor(v + 0.5));
}

}  // namespace tw::gdi
