// The synthesis engine as a BlockRenderer: one private engine instance, loaded from a bank
// image and rendered block by block without its timer.
#pragma once

#include <istream>
#include <memory>
#include <span>

#include "tools/velmo-render/render_loop.h"

namespace velmo {
struct Engine;
struct WaveSectionIndex;
}  // namespace velmo

namespace velmo::render {

class EngineBlockRenderer final : public BlockRenderer {
 public:
  // Loads the bank and resets the engine; throws BankLoadError for a rejected image.
  explicit EngineBlockRenderer(std::istream& bankImage);
  // The same from an image that stays valid for the life of the program; its waves are played
  // in place, found through `waveIndex` when given.
  EngineBlockRenderer(std::span<const uint8_t> residentBankImage,
                      const WaveSectionIndex* waveIndex);
  ~EngineBlockRenderer() override;

  void PushMidiByte(uint8_t byte) override;
  std::span<const int16_t> RenderNextBlock() override;
  bool AnyVoiceActive() const override;

 private:
  std::unique_ptr<Engine> engine_;
};

}  // namespace velmo::render
