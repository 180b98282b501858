#include "tools/velmo-render/wav_writer.h"

#include "tools/velmo-render/render_format.h"

namespace velmo::render {
namespace {

constexpr const char* kTooLong = "the render is too long for a WAV file (4 GiB at most); use --raw";

}  // namespace

PcmWriter::PcmWriter(const std::string& path, OutputContainer container,
                     std::optional<uint64_t> knownDataBytes)
    : container_(container), knownDataBytes_(knownDataBytes) {
  if (container_ == OutputContainer::kWav && knownDataBytes_ &&
      *knownDataBytes_ > kMaxWavDataBytes) {
    throw OutputError(kTooLong);
  }
  const soundfile::Container written = container_ == OutputContainer::kRaw
                                           ? soundfile::Container::kRaw
                                           : soundfile::ContainerForPath(path);
  try {
    file_ = std::make_unique<soundfile::SoundFileWriter>(
        path, written, soundfile::PcmLayout{.sampleRate = kSampleRate, .channels = kChannels});
  } catch (const soundfile::SoundFileError& error) {
    throw OutputError(error.what());
  }
}

void PcmWriter::Write(std::span<const int16_t> samples) {
  const uint64_t bytes = samples.size() * sizeof(int16_t);
  if (container_ == OutputContainer::kWav && dataBytes_ + bytes > kMaxWavDataBytes) {
    throw OutputError(kTooLong);
  }
  try {
    file_->Write(samples);
  } catch (const soundfile::SoundFileError& error) {
    throw OutputError(error.what());
  }
  dataBytes_ += bytes;
}

void PcmWriter::Finish() {
  if (knownDataBytes_ && *knownDataBytes_ != dataBytes_) {
    throw OutputError("internal error: rendered " + std::to_string(dataBytes_) +
                      " bytes instead of " + std::to_string(*knownDataBytes_));
  }
  try {
    file_->Finish();
  } catch (const soundfile::SoundFileError& error) {
    throw OutputError(error.what());
  }
}

}  // namespace velmo::render
