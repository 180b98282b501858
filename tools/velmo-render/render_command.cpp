#include "tools/velmo-render/render_command.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>

#include "fileio/atomic_output_file.h"
#include "midifile/midi_file_schedule.h"
#include "synth/sound_bank.h"
#include "tools/velmo-render/default_bank.h"
#include "tools/velmo-render/engine_block_renderer.h"
#include "tools/velmo-render/input_file.h"
#include "tools/velmo-render/midi_script.h"
#include "tools/velmo-render/progress_line.h"
#include "tools/velmo-render/render_format.h"
#include "tools/velmo-render/wav_writer.h"

namespace velmo::render {

using midi::ReadStandardMidiFile;
using midi::ScheduleMidiFile;
namespace {

// Rendering goes on this long at most after the last event of a MIDI file.
constexpr int64_t kMaxTailSeconds = 10;

struct RenderJob {
  ByteSchedule schedule;
  RenderLength length;
  bool lengthKnown = false;  // the render has exactly length.blocks blocks
};

RenderJob PrepareScript(const RenderOptions& options) {
  const std::vector<uint8_t> bytes = ReadInputFile(*options.scriptPath, "script", kMaxScriptBytes);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  ScriptSchedule script = ScheduleMidiScript(ParseMidiScript(text), options.blocks);
  if (script.ignoredLines > 0) {
    std::fprintf(stderr, "velmo-render: note: %lld script line(s) at block %lld or later ignored\n",
                 static_cast<long long>(script.ignoredLines),
                 static_cast<long long>(options.blocks));
  }
  return {std::move(script.bytes), {options.blocks, 0}, true};
}

RenderJob PrepareMidiFile(const RenderOptions& options) {
  const std::vector<uint8_t> bytes =
      ReadInputFile(*options.midiFilePath, "MIDI file", kMaxMidiFileBytes);
  ByteSchedule schedule = ScheduleMidiFile(ReadStandardMidiFile(bytes));
  const int64_t blocks = schedule.empty() ? 0 : schedule.back().block + 1;
  return {std::move(schedule), {blocks, BlocksForSeconds(kMaxTailSeconds)}, false};
}

std::unique_ptr<EngineBlockRenderer> LoadEngine(const RenderOptions& options) {
  const std::string bankName = options.bankPath ? *options.bankPath : "(built-in)";
  try {
    if (!options.bankPath) {
      // The built-in image stays in place: the engine plays its waves where they lie, found
      // through the index made at build time, so that only the waves a song plays are read.
      const std::span<const uint8_t> image = BuiltInBankImage();
      if (image.empty()) {
        throw InputError(
            "this build has no built-in sound bank: give a bank image with --bank FILE");
      }
      return std::make_unique<EngineBlockRenderer>(image, &BuiltInBankWaveIndex());
    }
    std::ifstream file(bankName, std::ios::binary);
    if (!file.is_open()) {
      throw InputError("cannot open sound bank " + bankName + ": " + std::strerror(errno));
    }
    return std::make_unique<EngineBlockRenderer>(file);
  } catch (const BankLoadError& error) {
    throw InputError("cannot load sound bank " + bankName + ": " + error.what());
  }
}

void Bench(BlockRenderer& renderer, const RenderJob& job) {
  const auto start = std::chrono::steady_clock::now();
  const int64_t blocks =
      RenderSchedule(renderer, job.schedule, job.length, [](std::span<const int16_t>) {});
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const double audioSeconds = static_cast<double>(blocks) * kFramesPerBlock / kSampleRate;
  const double factor = elapsed.count() > 0 ? audioSeconds / elapsed.count() : 0.0;
  std::printf("bench: %lld blocks in %.3f s, %.1fx real time\n", static_cast<long long>(blocks),
              elapsed.count(), factor);
  std::fflush(stdout);
}

// An output that is one of the inputs would destroy that input when it is replaced.
void RefuseOutputOverInput(const RenderOptions& options) {
  if (!options.outputPath || *options.outputPath == "-") return;
  std::vector<std::filesystem::path> inputs;
  for (const auto& input : {options.scriptPath, options.midiFilePath, options.bankPath}) {
    if (input) inputs.emplace_back(*input);
  }
  try {
    fileio::RefuseSameFile(*options.outputPath, inputs);
  } catch (const fileio::OutputFileError& error) {
    throw OutputError(error.what());
  }
}
}  // namespace

void RunRender(const RenderOptions& options) {
  RefuseOutputOverInput(options);
  const RenderJob job = options.scriptPath ? PrepareScript(options) : PrepareMidiFile(options);
  const std::unique_ptr<EngineBlockRenderer> renderer = LoadEngine(options);
  if (options.bench) {
    Bench(*renderer, job);
    return;
  }

  std::optional<uint64_t> knownBytes;
  if (job.lengthKnown && !options.raw) {
    if (static_cast<uint64_t>(job.length.blocks) > kMaxWavDataBytes / kBytesPerBlock) {
      throw OutputError("the render is too long for a WAV file (4 GiB at most); use --raw");
    }
    knownBytes = static_cast<uint64_t>(job.length.blocks) * kBytesPerBlock;
  }
  PcmWriter writer(*options.outputPath, options.raw ? OutputContainer::kRaw : OutputContainer::kWav,
                   knownBytes);
  {
    ProgressLine progress(job.lengthKnown ? std::optional(job.length.blocks) : std::nullopt);
    RenderSchedule(*renderer, job.schedule, job.length, [&](std::span<const int16_t> block) {
      writer.Write(block);
      progress.BlockDone();
    });
  }
  writer.Finish();
}

}  // namespace velmo::render
