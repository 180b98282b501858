#include "audio/ddsd_params_3d.h"

#include "audio/ddsd.h"
#include "audio/ddsd_channel.h"
#include "audio/ddsd_report.h"

namespace velmo {

namespace {

constexpr const char* kParams3DRefused = "Params3Dに指定されたパラメータが不適切です";
constexpr const char* kListenerRefused = "Listenerに指定されたパラメータが不適切です";

}  // namespace

SecondaryBuffer* TDDSDParams3D::Interface() const {
  return Owner_ != nullptr ? Owner_->SoundBuffer3D().get() : nullptr;
}

void TDDSDParams3D::Refresh() {
  if (SecondaryBuffer* buffer = Interface()) buffer->Get3DParameters(&Params_);
}

template <typename Change>
void TDDSDParams3D::Apply(Change change) {
  if (SecondaryBuffer* buffer = Interface()) {
    Buffer3DParameters applied;
    if (buffer->Get3DParameters(&applied) == kOk) {
      change(applied);
      buffer->Set3DParameters(applied);
    }
  }
  change(Params_);
}

Vector3D TDDSDParams3D::getPosition() {
  Refresh();
  return Params_.vPosition;
}
void TDDSDParams3D::setPosition(const Vector3D& position) {
  Apply([&](Buffer3DParameters& p) { p.vPosition = position; });
}
Vector3D TDDSDParams3D::getVelocity() {
  Refresh();
  return Params_.vVelocity;
}
void TDDSDParams3D::setVelocity(const Vector3D& velocity) {
  Apply([&](Buffer3DParameters& p) { p.vVelocity = velocity; });
}
Vector3D TDDSDParams3D::getConeOrientation() {
  Refresh();
  return Params_.vConeOrientation;
}
void TDDSDParams3D::setConeOrientation(const Vector3D& orientation) {
  Apply([&](Buffer3DParameters& p) { p.vConeOrientation = orientation; });
}
TDDSDConeAngle TDDSDParams3D::getConeAngle() {
  Refresh();
  return {Params_.dwInsideConeAngle, Params_.dwOutsideConeAngle};
}
void TDDSDParams3D::setConeAngle(const TDDSDConeAngle& angle) {
  Apply([&](Buffer3DParameters& p) {
    p.dwInsideConeAngle = angle.inside;
    p.dwOutsideConeAngle = angle.outside;
  });
}
int32_t TDDSDParams3D::getConeOutsideVolume() {
  Refresh();
  return Params_.lConeOutsideVolume;
}
void TDDSDParams3D::setConeOutsideVolume(int32_t volume) {
  Apply([&](Buffer3DParameters& p) { p.lConeOutsideVolume = volume; });
}
float TDDSDParams3D::getMinDistance() {
  Refresh();
  return Params_.flMinDistance;
}
void TDDSDParams3D::setMinDistance(float distance) {
  Apply([&](Buffer3DParameters& p) { p.flMinDistance = distance; });
}
float TDDSDParams3D::getMaxDistance() {
  Refresh();
  return Params_.flMaxDistance;
}
void TDDSDParams3D::setMaxDistance(float distance) {
  Apply([&](Buffer3DParameters& p) { p.flMaxDistance = distance; });
}
Buffer3DParameters TDDSDParams3D::getRaw() {
  Refresh();
  return Params_;
}
void TDDSDParams3D::setRaw(const Buffer3DParameters& raw) {
  if (SecondaryBuffer* buffer = Interface()) {
    CheckResult(buffer->Set3DParameters(raw), kParams3DRefused);
  }
  Params_ = raw;
}
void TDDSDParams3D::Assign(TDDSDParams3D& other) {
  setRaw(other.getRaw());
}

TDDSDListener::TDDSDListener(TDDSD& owner) : Owner_(owner) {
  if (SoundListener3D* listener = Interface()) {
    CheckResult(listener->SetAllParameters(Params_), kListenerRefused);
  }
}

SoundListener3D* TDDSDListener::Interface() const {
  return Owner_.Listener3D().get();
}

void TDDSDListener::Refresh() {
  if (SoundListener3D* listener = Interface()) listener->GetAllParameters(&Params_);
}

template <typename Change>
void TDDSDListener::Apply(Change change) {
  if (SoundListener3D* listener = Interface()) {
    Listener3DParameters applied;
    if (listener->GetAllParameters(&applied) == kOk) {
      change(applied);
      listener->SetAllParameters(applied);
    }
  }
  change(Params_);
}

Vector3D TDDSDListener::getPosition() {
  Refresh();
  return Params_.vPosition;
}
void TDDSDListener::setPosition(const Vector3D& position) {
  Apply([&](Listener3DParameters& p) { p.vPosition = position; });
}
Vector3D TDDSDListener::getVelocity() {
  Refresh();
  return Params_.vVelocity;
}
void TDDSDListener::setVelocity(const Vector3D& velocity) {
  Apply([&](Listener3DParameters& p) { p.vVelocity = velocity; });
}
TDDSDOrientation TDDSDListener::getOrientation() {
  Refresh();
  return {Params_.vOrientFront, Params_.vOrientTop};
}
void TDDSDListener::setOrientation(const TDDSDOrientation& orientation) {
  Apply([&](Listener3DParameters& p) {
    p.vOrientFront = orientation.front;
    p.vOrientTop = orientation.top;
  });
}
float TDDSDListener::getDistanceFactor() {
  Refresh();
  return Params_.flDistanceFactor;
}
void TDDSDListener::setDistanceFactor(float factor) {
  Apply([&](Listener3DParameters& p) { p.flDistanceFactor = factor; });
}
float TDDSDListener::getRollOffFactor() {
  Refresh();
  return Params_.flRolloffFactor;
}
void TDDSDListener::setRollOffFactor(float factor) {
  Apply([&](Listener3DParameters& p) { p.flRolloffFactor = factor; });
}
float TDDSDListener::getDopplerFactor() {
  Refresh();
  return Params_.flDopplerFactor;
}
void TDDSDListener::setDopplerFactor(float factor) {
  Apply([&](Listener3DParameters& p) { p.flDopplerFactor = factor; });
}
Listener3DParameters TDDSDListener::getRaw() {
  Refresh();
  return Params_;
}
void TDDSDListener::setRaw(const Listener3DParameters& raw) {
  if (SoundListener3D* listener = Interface()) {
    CheckResult(listener->SetAllParameters(raw), kListenerRefused);
  }
  Params_ = raw;
}
void TDDSDListener::Assign(TDDSDListener& other) {
  setRaw(other.getRaw());
}

}  // namespace velmo
