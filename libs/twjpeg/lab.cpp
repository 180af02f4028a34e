#include "lab.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace twjpeg {
namespace {

// D50 white and the sRGB primaries adapted to it (Bradford).
constexpr double kWhite[3] = {0.96422, 1.0, 0.82521};
constexpr double kToXyz[3][3] = {{0.4360747, 0.3850649, 0.1430804},
                                 {0.2225045, 0.7168786, 0.0606169},
                                 {0.0139322, 0.0971045, 0.7141733}};
constexpr double kToRgb[3][3] = {{3.1338561, -1.6168667, -0.4906146},
                                 {-0.9787684, 1.9161415, 0.0334540},
                                 {0.0719453, -0.2289914, 1.4052427}};
// T.42 default ranges.
constexpr double kAMin = -85, kARange = 170, kBMin = -75, kBRange = 200;

const std::array<double, 256>& Linear() {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (int i = 0; i < 256; ++i) {
      double c = i / 255.0;
      t[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    return t;
  }();
  return table;
}

double F(double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; }
double FInverse(double f) { return f > 6.0 / 29 ? f * f * f : (116 * f - 16) * 27 / 24389; }

std::uint8_t Byte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

}  // namespace

void RgbToLab(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t out[3]) {
  const auto& lin = Linear();
  double c[3] = {lin[r], lin[g], lin[b]};
  double f[3];
  for (int i = 0; i < 3; ++i)
    f[i] = F((kToXyz[i][0] * c[0] + kToXyz[i][1] * c[1] + kToXyz[i][2] * c[2]) / kWhite[i]);
  double l = 116 * f[1] - 16, a = 500 * (f[0] - f[1]), bb = 200 * (f[1] - f[2]);
  out[0] = Byte(l * 255 / 100);
  out[1] = Byte((a - kAMin) * 255 / kARange);
  out[2] = Byte((bb - kBMin) * 255 / kBRange);
}

void LabToRgb(std::uint8_t l8, std::uint8_t a8, std::uint8_t b8, std::uint8_t out[3]) {
  double l = l8 * 100.0 / 255, a = a8 * kARange / 255 + kAMin, b = b8 * kBRange / 255 + kBMin;
  double fy = (l + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
  double xyz[3] = {FInverse(fx) * kWhite[0], FInverse(fy) * kWhite[1], FInverse(fz) * kWhite[2]};
  for (int i = 0; i < 3; ++i) {
    double v = std::clamp(kToRgb[i][0] * xyz[0] + kToRgb[i][1] * xyz[1] + kToRgb[i][2] * xyz[2], 0.0, 1.0);
    v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    out[i] = Byte(v * 255);
  }
}

}  // namespace twjpeg
