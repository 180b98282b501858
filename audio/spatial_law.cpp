#include "audio/spatial_law.h"

#include <algorithm>
#include <cmath>

namespace velmo {

namespace {

constexpr double kSpeedOfSound = 343.0;  // metres per second
constexpr double kPi = 3.14159265358979323846;
// Attenuation of the far ear for a source straight to one side, in dB.
constexpr double kFarSideDb = 20.0;
// The Doppler terms are kept within half the speed of sound, so the shift stays in [1/3, 3].
constexpr double kMaxDopplerSpeed = kSpeedOfSound / 2;

struct Vec {
  double x, y, z;
};

Vec Of(const Vector3D& v) {
  return {v.x, v.y, v.z};
}
Vec Sub(const Vec& a, const Vec& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec Scale(const Vec& a, double s) {
  return {a.x * s, a.y * s, a.z * s};
}
double Dot(const Vec& a, const Vec& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec Cross(const Vec& a, const Vec& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Length(const Vec& a) {
  return std::sqrt(Dot(a, a));
}
Vec Normalized(const Vec& a) {
  const double length = Length(a);
  return length > 0.0 ? Scale(a, 1.0 / length) : Vec{0.0, 0.0, 0.0};
}
double GainOfDb(double db) {
  return std::pow(10.0, db / 20.0);
}

}  // namespace

// The laws of the software 3D, all applied here, once per mix period:
//
//  Position: the source's position relative to the listener is p = source - listener (in
//  head-relative mode p is the source's own position and the listener's axes are the default
//  ones). d = |p|. In disabled mode nothing below applies: gains 1, no shift.
//
//  Distance: d is held within [minimum, maximum] distance, then
//      gain = min / (min + rollOff * (d - min))
//  so a roll-off factor of 1 halves the amplitude (-6.02 dB) at twice the minimum distance, 0
//  turns distance attenuation off, and beyond the maximum distance the level stays constant.
//
//  Cone: with both cone angles 360 there is no cone. Otherwise let a be the angle between the
//  cone orientation and the direction from the source to the listener (-p). Inside half the
//  inside angle the level is unchanged, beyond half the outside angle it is the outside volume
//  (1/100 dB), and between them the attenuation in dB goes linearly from 0 to the outside volume.
//
//  Balance: the listener's right axis is top x front (left-handed: front (0,0,1) and top (0,1,0)
//  give right (1,0,0)), with top first made perpendicular to front. s = (p . right) / d in
//  [-1, 1] is the sine of the source's azimuth. The ear away from the source is attenuated by
//  |s| * 20 dB, the near ear keeps its level: a source straight ahead is heard equally on both
//  sides, one at the right is 20 dB quieter on the left.
//
//  Doppler: with u = p / d (listener towards source), the speeds along u in metres per second
//  are vl = (listener velocity . u) * distance factor and vs = (source velocity . u) * distance
//  factor, each scaled by the Doppler factor and held within half the speed of sound c = 343 m/s.
//  The frequency is multiplied by (c + vl) / (c + vs): approaching raises the pitch, receding
//  lowers it.
SpatialResult Spatialize(const Buffer3DParameters& source, const Listener3DParameters& listener) {
  SpatialResult result;
  if (source.dwMode == kMode3DDisable) return result;

  const bool headRelative = source.dwMode == kMode3DHeadRelative;
  const Vec p =
      headRelative ? Of(source.vPosition) : Sub(Of(source.vPosition), Of(listener.vPosition));
  const double d = Length(p);
  const Vec front = headRelative ? Vec{0, 0, 1} : Normalized(Of(listener.vOrientFront));
  const Vec topRaw = headRelative ? Vec{0, 1, 0} : Of(listener.vOrientTop);
  const Vec top = Normalized(Sub(topRaw, Scale(front, Dot(topRaw, front))));
  const Vec right = Cross(top, front);

  // Distance.
  const double minDistance = source.flMinDistance;
  const double held = std::clamp<double>(d, minDistance, source.flMaxDistance);
  const double rollOff = listener.flRolloffFactor;
  double gain = minDistance / (minDistance + rollOff * (held - minDistance));

  // Cone.
  if (source.dwInsideConeAngle < 360 || source.dwOutsideConeAngle < 360) {
    const Vec orientation = Normalized(Of(source.vConeOrientation));
    double angle = 0.0;
    if (d > 0.0 && Length(orientation) > 0.0) {
      const double cosine = std::clamp(Dot(orientation, Scale(p, -1.0 / d)), -1.0, 1.0);
      angle = std::acos(cosine) * 180.0 / kPi;
    }
    const double inside = source.dwInsideConeAngle / 2.0;
    const double outside = source.dwOutsideConeAngle / 2.0;
    const double outsideDb = source.lConeOutsideVolume / 100.0;
    double coneDb = 0.0;
    if (angle >= outside) {
      coneDb = outsideDb;
    } else if (angle > inside) {
      coneDb = outsideDb * (angle - inside) / (outside - inside);
    }
    gain *= GainOfDb(coneDb);
  }

  // Balance.
  const double s = d > 0.0 ? std::clamp(Dot(p, right) / d, -1.0, 1.0) : 0.0;
  const double farGain = GainOfDb(-kFarSideDb * std::abs(s));
  result.leftGain = gain * (s > 0.0 ? farGain : 1.0);
  result.rightGain = gain * (s < 0.0 ? farGain : 1.0);

  // Doppler.
  if (d > 0.0) {
    const Vec u = Scale(p, 1.0 / d);
    const double scale = listener.flDistanceFactor * listener.flDopplerFactor;
    const Vec listenerVelocity = headRelative ? Vec{0, 0, 0} : Of(listener.vVelocity);
    const double vl =
        std::clamp(Dot(listenerVelocity, u) * scale, -kMaxDopplerSpeed, kMaxDopplerSpeed);
    const double vs =
        std::clamp(Dot(Of(source.vVelocity), u) * scale, -kMaxDopplerSpeed, kMaxDopplerSpeed);
    result.frequencyRatio = (kSpeedOfSound + vl) / (kSpeedOfSound + vs);
  }
  return result;
}

}  // namespace velmo
