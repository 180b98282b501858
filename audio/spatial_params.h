// The 3D parameter records of a sound buffer and of the listener, with their defaults, and the
// software device's check of each. Coordinates are left-handed: x right, y up, z ahead.
#pragma once

#include <cstdint>

namespace velmo {

struct Vector3D {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  bool operator==(const Vector3D&) const = default;
};

// Processing modes of a 3D buffer.
inline constexpr uint32_t kMode3DNormal = 0;        // position in world space
inline constexpr uint32_t kMode3DHeadRelative = 1;  // position relative to the listener
inline constexpr uint32_t kMode3DDisable = 2;       // no 3D processing

struct Buffer3DParameters {
  uint32_t dwSize = 64;
  Vector3D vPosition;
  Vector3D vVelocity;
  uint32_t dwInsideConeAngle = 360;  // degrees
  uint32_t dwOutsideConeAngle = 360;
  Vector3D vConeOrientation{0.0f, 0.0f, 1.0f};
  int32_t lConeOutsideVolume = 0;  // 1/100 dB
  float flMinDistance = 5.0f;
  float flMaxDistance = 100.0f;
  uint32_t dwMode = kMode3DNormal;
  bool operator==(const Buffer3DParameters&) const = default;
};
static_assert(sizeof(Buffer3DParameters) == 64);

struct Listener3DParameters {
  uint32_t dwSize = 64;
  Vector3D vPosition;
  Vector3D vVelocity;
  Vector3D vOrientFront{0.0f, 0.0f, 1.0f};
  Vector3D vOrientTop{0.0f, 1.0f, 0.0f};
  float flDistanceFactor = 1.0f;  // metres per unit
  float flRolloffFactor = 1.0f;
  float flDopplerFactor = 1.0f;
  bool operator==(const Listener3DParameters&) const = default;
};
static_assert(sizeof(Listener3DParameters) == 64);

// The ranges the device accepts (a failed check leaves the current parameters).
bool IsValid(const Buffer3DParameters& parameters);
bool IsValid(const Listener3DParameters& parameters);

}  // namespace velmo
