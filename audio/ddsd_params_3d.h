// TDDSDParams3D: the 3D parameters of a channel (acting on the channel's 3D buffer) or of a 3D
// wave (a plain record, without owner). TDDSDListener: the device's 3D listener.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/spatial_params.h"

namespace velmo {

class TDDSD;
class TDDSDChannel;
class SecondaryBuffer;
class SoundListener3D;

struct TDDSDConeAngle {
  uint32_t inside = 360;
  uint32_t outside = 360;
  bool operator==(const TDDSDConeAngle&) const = default;
};

struct TDDSDOrientation {
  Vector3D front;
  Vector3D top;
  bool operator==(const TDDSDOrientation&) const = default;
};

// Getters first refresh the cache from the owner channel's 3D buffer when there is one;
// setters apply the value to it at once and then cache it. Results are ignored except where
// setRaw and Assign report a refused record.
class TDDSDParams3D {
 public:
  explicit TDDSDParams3D(TDDSDChannel* owner) : Owner_(owner) {}

  Vector3D getPosition();
  void setPosition(const Vector3D& position);
  Vector3D getVelocity();
  void setVelocity(const Vector3D& velocity);
  Vector3D getConeOrientation();
  void setConeOrientation(const Vector3D& orientation);
  TDDSDConeAngle getConeAngle();
  void setConeAngle(const TDDSDConeAngle& angle);
  int32_t getConeOutsideVolume();
  void setConeOutsideVolume(int32_t volume);
  float getMinDistance();
  void setMinDistance(float distance);
  float getMaxDistance();
  void setMaxDistance(float distance);
  Buffer3DParameters getRaw();
  void setRaw(const Buffer3DParameters& raw);
  // Copies `other`'s whole record (read with its getRaw) and applies it.
  void Assign(TDDSDParams3D& other);

  TDDSDChannel* Owner() const { return Owner_; }

 private:
  SecondaryBuffer* Interface() const;
  void Refresh();
  template <typename Change>
  void Apply(Change change);

  TDDSDChannel* Owner_;
  Buffer3DParameters Params_;
};

class TDDSDListener {
 public:
  // Applies the defaults to the owner's listener at once.
  explicit TDDSDListener(TDDSD& owner);

  Vector3D getPosition();
  void setPosition(const Vector3D& position);
  Vector3D getVelocity();
  void setVelocity(const Vector3D& velocity);
  TDDSDOrientation getOrientation();
  void setOrientation(const TDDSDOrientation& orientation);
  float getDistanceFactor();
  void setDistanceFactor(float factor);
  float getRollOffFactor();
  void setRollOffFactor(float factor);
  float getDopplerFactor();
  void setDopplerFactor(float factor);
  Listener3DParameters getRaw();
  void setRaw(const Listener3DParameters& raw);
  void Assign(TDDSDListener& other);

 private:
  SoundListener3D* Interface() const;
  void Refresh();
  template <typename Change>
  void Apply(Change change);

  TDDSD& Owner_;
  Listener3DParameters Params_;
};

}  // namespace velmo
