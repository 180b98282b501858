// Cost of the software device's mixer per output frame, and of BlockCopy per half.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "audio/backend_virtual.h"
#include "audio/ddsd.h"
#include "audio/ddsd_channel.h"
#include "audio/ddsd_gen_wave.h"

namespace velmo {
namespace {

constexpr uint32_t kWaveRate = 22050;
constexpr uint32_t kWaveBytes = 8840;
constexpr uint32_t kFramesPerPull = 512;

// A device on the virtual backend at `outputRate` with `channels` looping 16-bit stereo waves.
struct MixScene {
  MixScene(uint32_t outputRate, int channels, bool stereo) {
    device.setBackendName("virtual");
    device.setManualNotifyPolling(true);
    device.setChannelCount(static_cast<uint32_t>(std::max(channels, 1)));
    device.SetDebugOption(dsoHaltOnError);
    device.Loaded();
    device.SetPrimaryBufferFotmat(outputRate, 16, true);
    const std::vector<uint8_t> noise = [] {
      std::vector<uint8_t> bytes(kWaveBytes);
      uint32_t state = 1;
      for (uint8_t& b : bytes)
        b = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
      return bytes;
    }();
    for (int i = 0; i < channels; ++i) {
      waves.push_back(
          std::make_unique<TDDSDWaveData>(device, kWaveRate, 16, stereo, kWaveBytes, false));
      waves.back()->SoundBuffer()->SetVolume(-600);
      void* region = nullptr;
      uint32_t length = 0;
      waves.back()->SoundBuffer()->Lock(0, 0, &region, &length, nullptr, nullptr,
                                        kLockEntireBuffer);
      std::copy(noise.begin(), noise.end(), static_cast<uint8_t*>(region));
      waves.back()->SoundBuffer()->Unlock(region, length, nullptr, 0);
      TDDSDChannel* channel = device.GetChannels(i);
      channel->setWaveData(waves.back().get());
      channel->setPan(i * 1000 - 4000);
      channel->LoopPlayAt(static_cast<uint32_t>(i) * 400);
    }
    backend = AsVirtualBackend(device.DirectSound()->Backend());
  }
  TDDSD device;
  std::vector<std::unique_ptr<TDDSDWaveData>> waves;
  VirtualBackend* backend = nullptr;
};

void MixFrames(benchmark::State& state, uint32_t outputRate, bool stereo) {
  MixScene scene(outputRate, static_cast<int>(state.range(0)), stereo);
  for (auto _ : state) {
    scene.backend->Advance(kFramesPerPull);
    benchmark::DoNotOptimize(scene.backend->Output().data());
    scene.backend->ClearOutput();
  }
  state.SetItemsProcessed(state.iterations() * kFramesPerPull);
  state.counters["ns_per_frame"] = benchmark::Counter(
      static_cast<double>(state.iterations() * kFramesPerPull),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
}

void BM_MixStereoSameRate(benchmark::State& state) {
  MixFrames(state, 22050, true);
}
void BM_MixStereoResampled44100(benchmark::State& state) {
  MixFrames(state, 44100, true);
}
void BM_MixStereoResampled48000(benchmark::State& state) {
  MixFrames(state, 48000, true);
}
void BM_MixMonoResampled48000(benchmark::State& state) {
  MixFrames(state, 48000, false);
}

BENCHMARK(BM_MixStereoSameRate)->Arg(0)->Arg(1)->Arg(8);
BENCHMARK(BM_MixStereoResampled44100)->Arg(1)->Arg(8);
BENCHMARK(BM_MixStereoResampled48000)->Arg(1)->Arg(8)->Arg(18);
BENCHMARK(BM_MixMonoResampled48000)->Arg(1)->Arg(8);

void BM_BlockCopyHalf(benchmark::State& state) {
  MixScene scene(44100, 0, true);
  auto stream = TDDSDWaveData::CreateStream(scene.device, kWaveRate, 16, true, kWaveBytes, false);
  const std::vector<uint8_t> half(kWaveBytes / 2, 7);
  uint32_t offset = 0;
  for (auto _ : state) {
    stream->BlockCopy(offset, half.data(), static_cast<uint32_t>(half.size()));
    offset = (offset + 3000) % kWaveBytes;  // wraps now and then: one or two regions
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(half.size()));
}
BENCHMARK(BM_BlockCopyHalf);

}  // namespace
}  // namespace velmo
