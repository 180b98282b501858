#include "tools/velmo-render/engine_block_renderer.h"

#include "synth/engine.h"
#include "synth/engine_constants.h"
#include "tools/velmo-render/render_format.h"

namespace velmo::render {

static_assert(kSampleRate == kOutputRate);
static_assert(kFramesPerBlock == velmo::kFramesPerBlock);
static_assert(kBytesPerBlock == kBlockBytes);
static_assert(kSamplesPerBlock == kBlockSamples);
static_assert(kMidiQueueCapacity == kMidiQueueSize);

EngineBlockRenderer::EngineBlockRenderer(std::istream& bankImage)
    : engine_(std::make_unique<Engine>()) {
  EngineLoadAndReset(*engine_, bankImage);
}

EngineBlockRenderer::EngineBlockRenderer(std::span<const uint8_t> residentBankImage,
                                         const WaveSectionIndex* waveIndex)
    : engine_(std::make_unique<Engine>()) {
  EngineLoadResidentAndReset(*engine_, residentBankImage, waveIndex);
}

EngineBlockRenderer::~EngineBlockRenderer() {
  EngineShutdown(*engine_);
}

void EngineBlockRenderer::PushMidiByte(uint8_t byte) {
  velmo::PushMidiByte(*engine_, byte);
}

// What the engine's timer does for one block, minus the check that the output has taken the
// ring half ahead: offline, every block is taken as soon as it is rendered.
std::span<const int16_t> EngineBlockRenderer::RenderNextBlock() {
  const int32_t block = WriteBlock(*engine_);
  DrainMidiQueue(*engine_);
  RenderBlock(*engine_);
  return {RingBlock(*engine_, block), static_cast<size_t>(kSamplesPerBlock)};
}

bool EngineBlockRenderer::AnyVoiceActive() const {
  return velmo::AnyVoiceActive(*engine_);
}

}  // namespace velmo::render
