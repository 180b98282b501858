// Shared pieces of the audio tests: a device component on the virtual backend with manual
// notify polling, a recorder of stream updates and a capture of the debug log.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/backend_virtual.h"
#include "audio/ddsd.h"
#include "audio/ddsd_channel.h"
#include "audio/ddsd_gen_wave.h"
#include "audio/ddsd_notify_thread.h"

namespace velmo::testing {

// The system's stream: 22050 Hz, 16 bits, stereo, 8840 bytes.
inline constexpr uint32_t kRate = 22050;
inline constexpr uint32_t kStreamBytes = 8840;
inline constexpr uint32_t kHalf = 4420;
// About one 10 ms poll period of frames at kRate.
inline constexpr uint32_t kPollFrames = 221;

// A loaded TDDSD on the virtual backend, output at kRate, 16-bit stereo, unless told otherwise.
class VirtualAudio {
 public:
  explicit VirtualAudio(TDDSDDebugOption options = dsoDebugMessage, uint32_t outputRate = kRate,
                        bool use3D = false);
  VirtualBackend& Backend();
  // The output pulled so far as interleaved 16-bit samples, then forgets it.
  std::vector<int16_t> TakeOutput();
  TDDSD device;
};

struct Update {
  uint32_t offset;
  uint32_t size;
  bool operator==(const Update&) const = default;
};

// Records every update a stream raises.
class UpdateRecorder {
 public:
  explicit UpdateRecorder(TDDSDGenWave& wave);
  std::vector<Update> updates;
};

// Advances the virtual clock by `frames` and runs one notify pass.
void Step(VirtualAudio& audio, TDDSDGenWave& wave, uint32_t frames = kPollFrames);

// Sends the debug log into a fresh folder for the capture's lifetime.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::vector<std::string> Lines() const;
  // The lines without their numbered "debug#NNNNN ... " prefix.
  std::vector<std::string> Messages() const;

 private:
  std::filesystem::path folder_;
};

// A non-stream 16-bit stereo wave whose frame i holds (left, right) = (i, -i) scaled by `scale`.
std::unique_ptr<TDDSDWaveData> MakeRampWave(TDDSD& device, uint32_t frames, int16_t scale);

}  // namespace velmo::testing
