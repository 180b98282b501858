#pragma once

#include <cmath>

namespace velmo {

// Two-pole resonant low-pass whose coefficients may change between frames. `radians` is the
// cutoff as an angle per frame (2 pi times cycles per frame).
class TwoPoleLowPass {
 public:
  void Set(double radians, double q) {
    const double alpha = std::sin(radians) / (2 * q);
    const double cosw = std::cos(radians);
    const double a0 = 1 + alpha;
    b0_ = (1 - cosw) / 2 / a0;
    b1_ = (1 - cosw) / a0;
    a1_ = -2 * cosw / a0;
    a2_ = (1 - alpha) / a0;
  }
  double Run(double x) {
    const double y = b0_ * (x + x2_) + b1_ * x1_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_;
    x1_ = x;
    y2_ = y1_;
    y1_ = y;
    return y;
  }

 private:
  double b0_ = 1, b1_ = 0, a1_ = 0, a2_ = 0;
  double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

}  // namespace velmo
