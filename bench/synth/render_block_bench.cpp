// RenderBlock with 18 looping voices.
#include <benchmark/benchmark.h>

#include "bench/synth/bench_bank.h"

namespace velmo {
namespace {

void RenderEighteenVoices(benchmark::State& state, bench::VoiceMix mix) {
  auto engine = bench::EngineWithEighteenVoices(mix);
  if (bench::ActiveVoiceCount(*engine) != PolyphonyLimit) {
    state.SkipWithError("not every voice is sounding");
    return;
  }
  for (auto _ : state) {
    RenderBlock(*engine);
    benchmark::DoNotOptimize(engine->ring.data());
  }
  // Audio rendered per second of CPU time, in seconds: the real-time factor.
  state.counters["realtime_x"] =
      benchmark::Counter(static_cast<double>(kFramesPerBlock) / kOutputRate,
                         benchmark::Counter::kIsIterationInvariantRate);
  state.counters["voice_frames"] =
      benchmark::Counter(static_cast<double>(PolyphonyLimit * kFramesPerBlock),
                         benchmark::Counter::kIsIterationInvariantRate);
}
void BM_RenderBlockEighteenVoices(benchmark::State& state) {
  RenderEighteenVoices(state, bench::VoiceMix::Mixed);
}
BENCHMARK(BM_RenderBlockEighteenVoices);

void BM_RenderBlockEighteenSingleCycleVoices(benchmark::State& state) {
  RenderEighteenVoices(state, bench::VoiceMix::SingleCycle);
}
BENCHMARK(BM_RenderBlockEighteenSingleCycleVoices);

}  // namespace
}  // namespace velmo

BENCHMARK_MAIN();
