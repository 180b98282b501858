// Records from the capture device into a sound file, half buffer by half buffer.
#pragma once

#include <cstdint>
#include <functional>

#include "audio/ddsd.h"
#include "tools/velmo-play/play_options.h"

namespace velmo::play {

// Records `options.recordSeconds` of 16-bit PCM at `options.recordRate` (stereo unless
// `options.recordMono`) into `options.outputPath`. `progress` gets the seconds recorded so far.
// Throws EDDSD with the component's message, or soundfile::SoundFileError.
void Record(TDDSD& device, const PlayOptions& options,
            const std::function<void(double seconds, double total)>& progress);

}  // namespace velmo::play
