#include "audio/ddsd_wave_3d.h"

namespace velmo {

TDDSDWave3D::TDDSDWave3D(TDDSD& owner, const std::string& fileName, bool useFX)
    : TDDSDGenWave(owner, fileName, true, useFX) {}

TDDSDWave3D::TDDSDWave3D(TDDSD& owner, const std::string& archiveFileName,
                         const std::string& dataId, bool useFX)
    : TDDSDGenWave(owner, archiveFileName, dataId, true, useFX) {}

TDDSDWave3D::TDDSDWave3D(TDDSD& owner, uint32_t samplesPerSec, uint32_t bitsPerSample,
                         uint32_t bufferBytes, bool stream)
    : TDDSDGenWave(owner, samplesPerSec, bitsPerSample, false, bufferBytes, true, false, stream) {}

std::unique_ptr<TDDSDWave3D> TDDSDWave3D::CreateStream(TDDSD& owner, uint32_t samplesPerSec,
                                                       uint32_t bitsPerSample,
                                                       uint32_t bufferBytes) {
  return std::make_unique<TDDSDWave3D>(owner, samplesPerSec, bitsPerSample, bufferBytes, true);
}

TDDSDWave3D::~TDDSDWave3D() {
  Params3D_.reset();
}

}  // namespace velmo
