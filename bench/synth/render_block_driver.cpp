// Renders a fixed number of blocks with 18 looping voices; a small program for
// instruction counting (valgrind --tool=callgrind), one RenderBlock per block.
#include <cstdio>
#include <cstdlib>

#include "bench/synth/bench_bank.h"

int main(int argc, char** argv) {
  const int32_t blocks = argc > 1 ? std::atoi(argv[1]) : 2000;
  auto engine = velmo::bench::EngineWithEighteenVoices();
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
