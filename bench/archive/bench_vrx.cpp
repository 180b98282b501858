// Packing and unpacking throughput of the archive's byte pair encoding, with
// the packed size as a share of the source ("ratio").

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "archive/vrx_pack.h"
#include "tests/archive/vrx_test_data.h"

namespace {

constexpr std::size_t kSourceSize = 1 << 20;

enum class Kind { kPcm16, kPcm8, kText, kRandom };

std::vector<std::uint8_t> Source(Kind kind) {
  switch (kind) {
    case Kind::kPcm16:
      return velmo::test::PcmData(kSourceSize);
    case Kind::kPcm8:
      return velmo::test::Pcm8Data(kSourceSize);
    case Kind::kText:
      return velmo::test::TextData(kSourceSize);
    case Kind::kRandom:
      break;
  }
  return velmo::test::RandomData(kSourceSize, 1);
}

void SetRatio(benchmark::State& state, std::size_t packed, std::size_t source) {
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(source);
}

void BM_Pack(benchmark::State& state, Kind kind) {
  const std::vector<std::uint8_t> source = Source(kind);
  std::size_t packed_size = 0;
  for (auto _ : state) {
    const std::vector<std::uint8_t> packed = velmo::PackVRXData(source);
    packed_size = packed.size();
    benchmark::DoNotOptimize(packed.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
  SetRatio(state, packed_size, source.size());
}

void BM_Unpack(benchmark::State& state, Kind kind) {
  const std::vector<std::uint8_t> source = Source(kind);
  const std::vector<std::uint8_t> packed = velmo::PackVRXData(source);
  for (auto _ : state) {
    const std::vector<std::uint8_t> unpacked =
        velmo::UnpackVRXData(packed, static_cast<std::uint32_t>(source.size()));
    benchmark::DoNotOptimize(unpacked.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
  SetRatio(state, packed.size(), source.size());
}

BENCHMARK_CAPTURE(BM_Pack, pcm16, Kind::kPcm16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Pack, pcm8, Kind::kPcm8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Pack, text, Kind::kText)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Pack, random, Kind::kRandom)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Unpack, pcm16, Kind::kPcm16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Unpack, pcm8, Kind::kPcm8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Unpack, text, Kind::kText)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Unpack, random, Kind::kRandom)->Unit(benchmark::kMillisecond);

}  // namespace
