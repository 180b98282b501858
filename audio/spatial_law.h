// How the software device places a 3D buffer: gains for the left and right output and the
// playing frequency, from the buffer's and the listener's 3D parameters.
#pragma once

#include <cstdint>

#include "audio/spatial_params.h"

namespace velmo {

struct SpatialResult {
  double leftGain = 1.0;  // linear, 1.0 = unchanged
  double rightGain = 1.0;
  double frequencyRatio = 1.0;  // Doppler shift
};

SpatialResult Spatialize(const Buffer3DParameters& source, const Listener3DParameters& listener);

}  // namespace velmo
