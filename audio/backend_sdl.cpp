// The sound card through SDL2 audio. The only file that includes SDL.
#include <SDL.h>

#include <string>

#include "audio/audio_backend.h"

namespace velmo {

namespace {

// Keeps SDL's audio subsystem initialised for as long as the object lives.
class SdlAudioSubsystem {
 public:
  SdlAudioSubsystem() : ok_(InitAudio()) {}
  ~SdlAudioSubsystem() {
    if (ok_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  SdlAudioSubsystem(const SdlAudioSubsystem&) = delete;
  SdlAudioSubsystem& operator=(const SdlAudioSubsystem&) = delete;
  bool ok() const { return ok_; }

 private:
  static bool InitAudio() {
    // A library must not take over SIGINT and SIGTERM from the program it lives in.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  }

  bool ok_;
};

class SdlBackend final : public AudioBackend {
 public:
  ~SdlBackend() override { Close(); }

  HResult Open(std::string_view deviceName, const OutputFormat& wanted, AudioRenderSource& source,
               OutputFormat& obtained) override {
    Close();
    subsystem_ = std::make_unique<SdlAudioSubsystem>();
    if (!subsystem_->ok()) {
      subsystem_.reset();
      return kErrNoDriver;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(wanted.samplesPerSec);
    want.format = wanted.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(wanted.channels);
    want.samples = static_cast<Uint16>(wanted.periodFrames);
    want.callback = &SdlBackend::Callback;
    want.userdata = &source;
    SDL_AudioSpec have{};
    const std::string name(deviceName);
    // No changes allowed: SDL converts to whatever the card needs, so the mixer's format holds.
    device_ = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
    if (device_ == 0) {
      subsystem_.reset();
      return kErrNoDriver;
    }
    obtained = wanted;
    obtained.periodFrames = have.samples;
    SDL_PauseAudioDevice(device_, 0);
    return kOk;
  }

  void Close() override {
    if (device_ != 0) {
      SDL_CloseAudioDevice(device_);  // waits for a running callback to return
      device_ = 0;
    }
    subsystem_.reset();
  }

 private:
  static void SDLCALL Callback(void* userdata, Uint8* stream, int len) {
    static_cast<AudioRenderSource*>(userdata)->Render(stream, static_cast<uint32_t>(len));
  }

  std::unique_ptr<SdlAudioSubsystem> subsystem_;
  SDL_AudioDeviceID device_ = 0;
};

class SdlCaptureBackend final : public AudioCaptureBackend {
 public:
  ~SdlCaptureBackend() override { Close(); }

  HResult Open(std::string_view deviceName, const OutputFormat& format,
               AudioCaptureSink& sink) override {
    Close();
    subsystem_ = std::make_unique<SdlAudioSubsystem>();
    if (!subsystem_->ok()) {
      subsystem_.reset();
      return kErrNoDriver;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.samplesPerSec);
    want.format = format.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(format.channels);
    want.samples = static_cast<Uint16>(format.periodFrames);
    want.callback = &SdlCaptureBackend::Callback;
    want.userdata = &sink;
    SDL_AudioSpec have{};
    const std::string name(deviceName);
    // No changes allowed: SDL converts from whatever the device records.
    device_ = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 1, &want, &have, 0);
    if (device_ == 0) {
      subsystem_.reset();
      return kErrNoDriver;
    }
    SDL_PauseAudioDevice(device_, 0);
    return kOk;
  }

  void Close() override {
    if (device_ != 0) {
      SDL_CloseAudioDevice(device_);
      device_ = 0;
    }
    subsystem_.reset();
  }

 private:
  static void SDLCALL Callback(void* userdata, Uint8* stream, int len) {
    static_cast<AudioCaptureSink*>(userdata)->Deliver(stream, static_cast<uint32_t>(len));
  }

  std::unique_ptr<SdlAudioSubsystem> subsystem_;
  SDL_AudioDeviceID device_ = 0;
};

}  // namespace

std::unique_ptr<AudioCaptureBackend> CreateSdlCaptureBackend() {
  return std::make_unique<SdlCaptureBackend>();
}

std::unique_ptr<AudioBackend> CreateSdlBackend() {
  return std::make_unique<SdlBackend>();
}

std::vector<std::string> ListSdlDevices() {
  std::vector<std::string> names;
  const SdlAudioSubsystem subsystem;
  if (!subsystem.ok()) return names;
  const int count = SDL_GetNumAudioDevices(0);
  for (int i = 0; i < count; ++i) {
    const char* name = SDL_GetAudioDeviceName(i, 0);
    if (name != nullptr) names.emplace_back(name);
  }
  return names;
}

}  // namespace velmo
