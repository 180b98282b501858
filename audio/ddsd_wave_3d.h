// TDDSDWave3D: a wave placed in 3D space. Its Params3D (without owner) are applied to every
// channel it is attached to.
#pragma once

#include <memory>
#include <string>

#include "audio/ddsd_gen_wave.h"
#include "audio/ddsd_params_3d.h"

namespace velmo {

class TDDSDWave3D : public TDDSDGenWave {
 public:
  // From a WAVE file, or from an entry of a VRX archive. With effects the buffer gets the
  // effects capability instead of 3D control, so channels cannot place it.
  TDDSDWave3D(TDDSD& owner, const std::string& fileName, bool useFX);
  TDDSDWave3D(TDDSD& owner, const std::string& archiveFileName, const std::string& dataId,
              bool useFX);
  // A mono buffer of `bufferBytes` bytes; `stream` makes it a stream with half updates.
  TDDSDWave3D(TDDSD& owner, uint32_t samplesPerSec, uint32_t bitsPerSample, uint32_t bufferBytes,
              bool stream);
  // A mono 3D stream with half updates.
  static std::unique_ptr<TDDSDWave3D> CreateStream(TDDSD& owner, uint32_t samplesPerSec,
                                                   uint32_t bitsPerSample, uint32_t bufferBytes);
  ~TDDSDWave3D() override;

  TDDSDParams3D& Params3D() { return *Params3D_; }

 private:
  std::unique_ptr<TDDSDParams3D> Params3D_ = std::make_unique<TDDSDParams3D>(nullptr);
};

}  // namespace velmo
