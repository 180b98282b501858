#include "tools/velmo-render/command_line.h"

#include <charconv>

namespace velmo::render {
namespace {

int64_t ParseBlockCount(std::string_view text) {
  int64_t value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < 0) {
    throw UsageError("--blocks needs a whole number of blocks (0 or more), not \"" +
                     std::string(text) + "\"");
  }
  return value;
}

}  // namespace

RenderOptions ParseCommandLine(std::span<const std::string_view> args) {
  RenderOptions options;
  std::optional<std::string> blocksText;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::optional<std::string_view> attached;  // --name=value
    if (arg.starts_with("--")) {
      if (const size_t eq = arg.find('='); eq != std::string_view::npos) {
        attached = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    const auto value = [&]() -> std::string {
      if (attached) return std::string(*attached);
      if (i + 1 == args.size()) throw UsageError(std::string(arg) + " needs a value");
      return std::string(args[++i]);
    };
    const auto flag = [&] {
      if (attached) throw UsageError(std::string(arg) + " takes no value");
      return true;
    };

    if (arg == "--help" || arg == "-h") {
      options.help = flag();
    } else if (arg == "--bank") {
      options.bankPath = value();
    } else if (arg == "--script") {
      options.scriptPath = value();
    } else if (arg == "--blocks") {
      blocksText = value();
    } else if (arg == "-o" || arg == "--output") {
      options.outputPath = value();
    } else if (arg == "--raw") {
      options.raw = flag();
    } else if (arg == "--bench") {
      options.bench = flag();
    } else if (arg.size() > 1 && arg.starts_with("-")) {
      throw UsageError("unknown option " + std::string(arg));
    } else if (options.midiFilePath) {
      throw UsageError("only one MIDI file can be rendered at a time");
    } else {
      options.midiFilePath = std::string(arg);
    }
  }
  if (options.help) return options;

  if (options.scriptPath && options.midiFilePath) {
    throw UsageError("give either --script or a MIDI file, not both");
  }
  if (!options.scriptPath && !options.midiFilePath) {
    throw UsageError("nothing to render: give --script FILE --blocks N, or a MIDI file");
  }
  if (options.scriptPath) {
    if (!blocksText) throw UsageError("--script needs --blocks N (how many blocks to render)");
    options.blocks = ParseBlockCount(*blocksText);
  } else if (blocksText) {
    throw UsageError("--blocks applies only to --script; a MIDI file renders to its end");
  }
  if (options.bench && options.outputPath) {
    throw UsageError("--bench renders without writing; leave out -o");
  }
  if (!options.bench && !options.outputPath) {
    throw UsageError("no output: give -o FILE (or -o - for standard output)");
  }
  return options;
}

std::string UsageText() {
  return R"(Usage:
  velmo-render [--bank BANK] --script SCRIPT --blocks N -o OUT [--raw]
  velmo-render [--bank BANK] MIDIFILE -o OUT [--raw]
  velmo-render ... --bench            (instead of -o: render and time, write nothing)

Renders MIDI input offline through the synthesizer to 22050 Hz, 16-bit stereo PCM.

Options:
  --bank BANK      sound bank image to load (default: the built-in bank)
  --script SCRIPT  MIDI byte script: one "<block> <hex byte> ..." line per entry,
                   e.g. "12 90 3C 64"; blank lines and lines starting with # are
                   skipped, as is anything after a # token. Bytes of a block are
                   pushed in file order before the block renders. Lines whose
                   block is N or more are ignored (a note on standard error says
                   how many).
  --blocks N       number of 221-frame blocks to render from a script
  MIDIFILE         Standard MIDI File (format 0 or 1). An event at t seconds is
                   pushed before block ceil(t x 22050 / 221); when more than 512
                   bytes (the synthesizer's MIDI queue) fall on one block, the rest
                   move on to the following blocks. After the last event rendering
                   goes on until every voice is silent, 10 seconds at most.
  -o OUT           output file, "-" for standard output. OUT is replaced only
                   once the render is complete, and is never one of the inputs.
  --raw            write headerless little-endian samples instead of a WAV file
  --bench          render without writing; the last line reports the speed
  -h, --help       show this help

Limits: a script or MIDI file may be 64 MiB at most; a script holds at most
2097152 entry lines and 8388608 MIDI bytes, a MIDI file at most 2097152 events
and 8388608 MIDI bytes, and plays for an hour at most, its spilled bytes included.
)";
}

}  // namespace velmo::render
