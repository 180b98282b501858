// The sound card through SDL2 audio. The only file that includes SDL.
#include <SDL.h>
#include <pthread.h>
#include <sched.h>

#include <cstdlib>
#include <string>

#include "audio/audio_backend.h"

namespace velmo {

namespace {

// What a sound server should hold of the stream, in milliseconds. SDL asks the server to hold
// only one period (11.6 ms at 512 frames), and it writes a whole period at a time, so a late
// wake-up of its thread empties the server's buffer. The server library takes this target from
// its environment; SDL's period stays as it is, so writes come as often as before.
constexpr const char* kServerBufferMs = "30";

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
    // A target the user set stays.
    setenv("PULSE_LATENCY_MSEC", kServerBufferMs, /*overwrite=*/0);
    // The output thread asks for real-time scheduling (directly or through rtkit); where that is
    // refused it runs at normal priority.
    SDL_SetHint(SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL, "1");
    // The sound server lists the stream (and logs its underruns) under this name rather than
    // SDL's "Audio Stream".
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Velmo");
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  }

  bool ok_;
};

// The device format SDL is asked for: the mixer's own, 8-bit unsigned or 16-bit signed.
SDL_AudioSpec SpecFor(const OutputFormat& format, SDL_AudioCallback callback, void* userdata) {
  SDL_AudioSpec spec{};
  spec.freq = static_cast<int>(format.samplesPerSec);
  spec.format = format.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  spec.channels = static_cast<Uint8>(format.channels);
  spec.samples = static_cast<Uint16>(format.periodFrames);
  spec.callback = callback;
  spec.userdata = userdata;
  return spec;
}

class SdlBackend final : public AudioBackend {
 public:
  ~SdlBackend() override { Close(); }

  HResult Open(std::string_view deviceName, const OutputFormat& wanted, AudioRenderSource& source,
               OutputFormat& obtained) override {
    Close();
    lastError_.clear();
    subsystem_ = std::make_unique<SdlAudioSubsystem>();
    if (!subsystem_->ok()) {
      lastError_ = SDL_GetError();
      subsystem_.reset();
      return kErrNoDriver;
    }
    const SDL_AudioSpec want = SpecFor(wanted, &SdlBackend::Callback, this);
    source_ = &source;
    priorityAsked_ = false;
    SDL_AudioSpec have{};
    const std::string name(deviceName);
    // No changes allowed: SDL converts to whatever the card needs, so the mixer's format holds.
    device_ = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
    if (device_ == 0) {
      lastError_ = SDL_GetError();
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

  std::string LastError() const override { return lastError_; }

 private:
  static void SDLCALL Callback(void* userdata, Uint8* stream, int len) {
    auto* self = static_cast<SdlBackend*>(userdata);
    if (!self->priorityAsked_) {
      // SDL asks for real time only through rtkit; where the process may set it itself (a
      // real-time limit or privileges), the output thread takes round-robin scheduling just
      // above the update threads. A refusal leaves it as it was.
      self->priorityAsked_ = true;
      sched_param param{};
      param.sched_priority = 11;
      static_cast<void>(pthread_setschedparam(pthread_self(), SCHED_RR, &param));
    }
    self->source_->Render(stream, static_cast<uint32_t>(len));
  }

  std::unique_ptr<SdlAudioSubsystem> subsystem_;
  SDL_AudioDeviceID device_ = 0;
  std::string lastError_;
  AudioRenderSource* source_ = nullptr;
  bool priorityAsked_ = false;  // touched by the output thread only while the device is open
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
    const SDL_AudioSpec want = SpecFor(format, &SdlCaptureBackend::Callback, &sink);
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
