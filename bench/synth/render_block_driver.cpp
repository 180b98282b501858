// Renders a fixed number of blocks with 18 looping voices; a small program for
// instruction counting (valgrind --tool=callgrind), one RenderBlock per block.
//   velmo_render_block_driver [BLOCKS] [single-cycle]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/synth/bench_bank.h"

int main(int argc, char** argv) {
  const int32_t blocks = argc > 1 ? std::atoi(argv[1]) : 2000;
  const bool singleCycle = argc > 2 && std::string(argv[2]) == "single-cycle";
  auto engine = velmo::bench::EngineWithEighteenVoices(
      singleCycle ? velmo::bench::VoiceMix::SingleCycle : velmo::bench::VoiceMix::Mixed);
  uint32_t checksum = 0;
  for (int32_t b = 0; b < blocks; ++b) {
    const int32_t block = velmo::WriteBlock(*engine);
    velmo::RenderBlock(*engine);
    checksum = checksum * 31u + static_cast<uint16_t>(velmo::RingBlock(*engine, block)[b % 442]);
  }
  std::printf("blocks %d, voices %d, checksum %08x\n", blocks,
              velmo::bench::ActiveVoiceCount(*engine), checksum);
  return 0;
}
