#include "audio/spatial_params.h"

#include <cmath>

namespace velmo {

namespace {

constexpr float kMaxFactor = 10.0f;
constexpr int32_t kSilentVolume = -10000;

bool IsFinite(const Vector3D& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

Vector3D Cross(const Vector3D& a, const Vector3D& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

bool IsZero(const Vector3D& v) {
  return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

}  // namespace

bool IsValid(const Buffer3DParameters& p) {
  return p.dwSize == sizeof(Buffer3DParameters) && IsFinite(p.vPosition) && IsFinite(p.vVelocity) &&
         IsFinite(p.vConeOrientation) && p.dwInsideConeAngle <= 360 &&
         p.dwOutsideConeAngle <= 360 && p.dwInsideConeAngle <= p.dwOutsideConeAngle &&
         p.lConeOutsideVolume >= kSilentVolume && p.lConeOutsideVolume <= 0 &&
         std::isfinite(p.flMinDistance) && std::isfinite(p.flMaxDistance) &&
         p.flMinDistance > 0.0f && p.flMaxDistance >= p.flMinDistance && p.dwMode <= kMode3DDisable;
}

bool IsValid(const Listener3DParameters& p) {
  const auto inRange = [](float value, float low) {
    return std::isfinite(value) && value >= low && value <= kMaxFactor;
  };
  return p.dwSize == sizeof(Listener3DParameters) && IsFinite(p.vPosition) &&
         IsFinite(p.vVelocity) && IsFinite(p.vOrientFront) && IsFinite(p.vOrientTop) &&
         !IsZero(Cross(p.vOrientFront, p.vOrientTop)) && std::isfinite(p.flDistanceFactor) &&
         p.flDistanceFactor > 0.0f && inRange(p.flRolloffFactor, 0.0f) &&
         inRange(p.flDopplerFactor, 0.0f);
}

}  // namespace velmo
