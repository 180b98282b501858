// velmo-play's command line, and what it plays as heard on the virtual device: one file
// sample for sample, duplicates staggered, a stop after --seconds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audio/backend_virtual.h"
#include "tools/velmo-play/play_options.h"
#include "tools/velmo-play/player.h"

namespace velmo::play {
namespace {

std::optional<PlayOptions> Parse(std::vector<std::string> args, std::string& error) {
  return ParsePlayOptions(args, error);
}

TEST(PlayOptions, ValuesAndMistakes) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
  };
  const Case cases[] = {
      {{"a.wav"}, true},
      {{"--volume", "-6.5", "--pan", "3", "--freq", "11025", "--channels", "3", "a.wav"}, true},
      {{"--3d", "10,0,-2.5", "a.wav"}, true},
      {{"--record", "2", "-o", "x.flac"}, true},
      {{"--render", "o.wav", "--loop", "--seconds", "1", "a.wav"}, true},
      {{}, false},                          // nothing to play
      {{"--volume", "1", "a.wav"}, false},  // above full volume
      {{"--volume", "a.wav"}, false},       // not a number, and no file left
      {{"--pan", "101", "a.wav"}, false},
      {{"--3d", "1,2", "a.wav"}, false},
      {{"--3d", "1,2,3,4", "a.wav"}, false},
      {{"--channels", "0", "a.wav"}, false},
      {{"--record", "2"}, false},  // no -o
      {{"--record", "2", "-o", "x.wav", "a.wav"}, false},
      {{"--render", "o.wav", "--loop", "a.wav"}, false},  // would never end
      {{"--bogus", "a.wav"}, false},
      {{"a.wav", "--freq"}, false},  // value missing at the end
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<PlayOptions> options = Parse(c.args, error);
    EXPECT_EQ(options.has_value(), c.ok) << ::testing::PrintToString(c.args) << " " << error;
    EXPECT_EQ(error.empty(), c.ok);
  }
  std::string error;
  const PlayOptions options = *Parse(
      {"--volume", "-6.5", "--pan", "-3", "--3d", "10,0,-2.5", "b.VRX:Bell", "a.wav"}, error);
  EXPECT_EQ(options.volume, -650);
  EXPECT_EQ(options.pan, -300);
  EXPECT_EQ(options.position, (Vector3D{10, 0, -2.5f}));
  ASSERT_EQ(options.sources.size(), 2u);
  EXPECT_EQ(options.sources[0].file, "b.VRX");
  EXPECT_EQ(options.sources[0].dataId, "Bell");
  EXPECT_FALSE(options.sources[1].dataId);
}

TEST(PlayOptions, OnlyArchivesTakeAnEntryName) {
  const std::tuple<const char*, const char*, std::optional<std::string>> cases[] = {
      {"a.vrx:ID", "a.vrx", "ID"},
      {"dir:x/a.vrx:A:B", "dir:x/a.vrx:A:B", std::nullopt},
      {"c:/a.wav", "c:/a.wav", std::nullopt},
      {"a.vrx:", "a.vrx", ""},
      {".vrx:ID", ".vrx:ID", std::nullopt}};
  for (const auto& [text, file, id] : cases) {
    const WaveSourceName name = ParseWaveSourceName(text);
    EXPECT_EQ(name.file, file) << text;
    EXPECT_EQ(name.dataId, id) << text;
  }
}

// An 8-bit mono WAVE file of `frames` frames, sample i = (i * 7) mod 256.
std::string WriteWave(const std::filesystem::path& path, uint32_t rate, uint32_t frames) {
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + frames);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(1);
  u32(rate);
  u32(rate);
  u16(1);
  u16(8);
  out.write("data", 4);
  u32(frames);
  for (uint32_t i = 0; i < frames; ++i)
    out.put(static_cast<char>(i * 7));
  return path.string();
}

int16_t Expected(uint32_t frame) {
  return static_cast<int16_t>((static_cast<int32_t>(frame * 7 % 256) - 128) * 256);
}

struct Rendered {
  std::vector<int16_t> samples;  // stereo
};

Rendered Render(const PlayOptions& options, uint32_t rate) {
  TDDSD device;
  device.setBackendName("virtual");
  device.setChannelCount(std::max<uint32_t>(8, options.channels));
  device.SetDebugOption(dsoExceptOnError);
  device.Loaded();
  device.SetPrimaryBufferFotmat(rate, 16, true);
  Rendered rendered;
  VirtualDeviceClock clock(device, [&](std::span<const int16_t> samples) {
    rendered.samples.insert(rendered.samples.end(), samples.begin(), samples.end());
  });
  PlaySources(device, options, clock, nullptr);
  return rendered;
}

class PlayRender : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("velmo_play_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path folder_;
};

TEST_F(PlayRender, OneFileIsHeardSampleForSampleAndThenEnds) {
  // Lengths around the 10 ms check period, so the end lands inside and on a check.
  for (const uint32_t frames : {4u, 109u, 110u, 111u, 1234u}) {
    PlayOptions options;
    options.sources = {{WriteWave(folder_ / "a.wav", 11025, frames), std::nullopt}};
    const Rendered out = Render(options, 11025);
    ASSERT_EQ(out.samples.size(), 2u * frames) << frames;
    for (uint32_t i = 0; i < frames; ++i) {
      ASSERT_EQ(out.samples[2 * i], Expected(i)) << frames << " " << i;
      ASSERT_EQ(out.samples[2 * i + 1], Expected(i)) << frames << " " << i;
    }
  }
}

TEST_F(PlayRender, DuplicatesStartAnNthApartAndSecondsCutTheLoop) {
  constexpr uint32_t kFrames = 300;
  PlayOptions options;
  options.sources = {{WriteWave(folder_ / "a.wav", 8000, kFrames), std::nullopt}};
  options.channels = 3;
  options.volume = -600;  // so that three copies stay within range
  const Rendered out = Render(options, 8000);
  ASSERT_EQ(out.samples.size(), 2u * (kFrames + 2 * 100));
  // Each copy at half amplitude: the sum of the copies that have started and not ended.
  for (uint32_t i = 0; i < kFrames + 200; ++i) {
    double sum = 0;
    for (uint32_t copy = 0; copy < 3; ++copy) {
      if (i >= copy * 100 && i < copy * 100 + kFrames) sum += Expected(i - copy * 100) * 0.501;
    }
    ASSERT_NEAR(out.samples[2 * i], sum, 3 + std::abs(sum) * 0.002) << i;
  }

  options.channels = 1;
  options.volume = 0;
  options.loop = true;
  options.seconds = 0.1;
  const Rendered looped = Render(options, 8000);
  ASSERT_EQ(looped.samples.size(), 2u * 800);
  EXPECT_EQ(looped.samples[2 * 300], Expected(0));
  EXPECT_EQ(looped.samples[2 * 799], Expected(799 % kFrames));
}

TEST_F(PlayRender, AWaveThatCannotLoadRaisesTheComponentsMessage) {
  PlayOptions options;
  options.sources = {{(folder_ / "missing.wav").string(), std::nullopt}};
  try {
    Render(options, 8000);
    ADD_FAILURE() << "no exception";
  } catch (const EDDSD& error) {
    EXPECT_EQ(std::string(error.what()), (folder_ / "missing.wav").string() + "が、見つかりません");
  }
}

}  // namespace
}  // namespace velmo::play
