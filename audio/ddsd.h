// TDDSD: the device component. Owns one output device, its primary buffer and a fixed table of
// playback channels, and the failure-reporting policy of the whole component.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/ddsd_report.h"
#include "audio/sound_device.h"

namespace velmo {

class TDDSDChannel;
class TDDSDListener;

inline constexpr uint32_t kDefaultChannelCount = 8;
inline constexpr const char* kDefaultBackendName = "sdl";

class TDDSD {
 public:
  // Defaults: 8 channels, sticky focus, no 3D, debug option [dsoHaltOnError].
  TDDSD();
  // Frees the channels, then releases the primary buffer and the device. Waves made on this
  // component are to be freed before it.
  ~TDDSD();
  TDDSD(const TDDSD&) = delete;
  TDDSD& operator=(const TDDSD&) = delete;

  // Called once the stored properties are set: applies the debug options and opens the device.
  void Loaded();
  // Builds the channel table and opens the device; true when the device is usable. A missing
  // output device is not reported: Initialized stays false and everything quietly does nothing.
  bool forceInitialize();
  // Stores the options and sets the process-wide flags from them.
  void SetDebugOption(TDDSDDebugOption options);
  // The channel `index` (0 .. ChannelCount - 1); an invalid index is reported, ends the program
  // with dsoHaltOnError, and otherwise yields null.
  TDDSDChannel* GetChannels(int32_t index);
  // Changes the device's output format (only once initialised).
  void SetPrimaryBufferFotmat(uint32_t samplesPerSec, uint32_t bitsPerSample, bool stereo);
  // Copies `listener`'s parameters into this component's Listener (only with Use3D).
  void setListener(TDDSDListener& listener);
  // The listener made by forceInitialize with Use3D; null otherwise.
  TDDSDListener* getListener() const { return Listener_.get(); }

  TDDSDDebugOption getDebugOption() const { return DebugOption_; }
  bool getUse3D() const { return Use3D_; }
  void setUse3D(bool use3D) { Use3D_ = use3D; }
  uint32_t getChannelCount() const { return ChannelCount_; }
  // At least 1; takes effect at the next forceInitialize.
  void setChannelCount(uint32_t count) { ChannelCount_ = count < 1 ? 1 : count; }
  bool getStickyFocus() const { return StickyFocus_; }
  void setStickyFocus(bool sticky) { StickyFocus_ = sticky; }

  // Where the sound goes: a backend by name ("sdl", "virtual") and one of its output devices
  // (empty: the default). Take effect at the next forceInitialize.
  const std::string& getBackendName() const { return BackendName_; }
  void setBackendName(std::string name) { BackendName_ = std::move(name); }
  const std::string& getDeviceName() const { return DeviceName_; }
  void setDeviceName(std::string name) { DeviceName_ = std::move(name); }
  // With manual polling, streams made afterwards get a notify thread object that polls only
  // when its Poll is called, so a test can step it against a virtual clock.
  // The capture device capture objects on this component open (empty: the default one).
  const std::string& getCaptureDeviceName() const { return CaptureDeviceName_; }
  void setCaptureDeviceName(std::string name) { CaptureDeviceName_ = std::move(name); }
  bool getManualNotifyPolling() const { return ManualNotifyPolling_; }
  void setManualNotifyPolling(bool manual) { ManualNotifyPolling_ = manual; }

  bool Initialized() const { return Initialized_; }
  // Why the last initialisation found no output device (empty after a successful one).
  const std::string& UnavailableReason() const { return UnavailableReason_; }
  SoundDevice* DirectSound() const { return DirectSound_.get(); }
  PrimaryOutputBuffer* PrimaryBuffer() const { return PrimaryBuffer_.get(); }
  const std::shared_ptr<SoundListener3D>& Listener3D() const { return Listener3D_; }

 private:
  void FreeChannels();

  std::unique_ptr<SoundDevice> DirectSound_;
  std::shared_ptr<PrimaryOutputBuffer> PrimaryBuffer_;
  std::shared_ptr<SoundListener3D> Listener3D_;
  std::vector<std::unique_ptr<TDDSDChannel>> Channels_;
  uint32_t ChannelCount_ = kDefaultChannelCount;
  bool Initialized_ = false;
  std::string UnavailableReason_;
  bool Use3D_ = false;
  std::unique_ptr<TDDSDListener> Listener_;
  bool StickyFocus_ = true;
  TDDSDDebugOption DebugOption_ = dsoHaltOnError;
  std::string BackendName_ = kDefaultBackendName;
  std::string DeviceName_;
  std::string CaptureDeviceName_;
  bool ManualNotifyPolling_ = false;
};

}  // namespace velmo
