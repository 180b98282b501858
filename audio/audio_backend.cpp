#include "audio/audio_backend.h"

#include <array>

namespace velmo {

namespace {

constexpr std::array<AudioBackendEntry, 2> kBackends{{
    {"sdl", &CreateSdlBackend, &ListSdlDevices, &CreateSdlCaptureBackend},
    {"virtual", &CreateVirtualBackend, &ListVirtualDevices, &CreateVirtualCaptureBackend},
}};

const AudioBackendEntry* FindBackend(std::string_view name) {
  for (const AudioBackendEntry& entry : kBackends) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

}  // namespace

std::span<const AudioBackendEntry> AudioBackends() {
  return kBackends;
}

std::unique_ptr<AudioBackend> CreateAudioBackend(std::string_view name) {
  const AudioBackendEntry* entry = FindBackend(name);
  return entry != nullptr ? entry->create() : nullptr;
}

std::vector<std::string> ListAudioDevices(std::string_view name) {
  const AudioBackendEntry* entry = FindBackend(name);
  return entry != nullptr ? entry->listDevices() : std::vector<std::string>{};
}

std::unique_ptr<AudioCaptureBackend> CreateAudioCaptureBackend(std::string_view name) {
  const AudioBackendEntry* entry = FindBackend(name);
  return entry != nullptr ? entry->createCapture() : nullptr;
}

}  // namespace velmo
