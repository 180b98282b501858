#include "bankbuilder/soundfont.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

namespace velmo {
namespace {

// A bounded little-endian cursor over one chunk's bytes.
class ByteCursor {
 public:
  ByteCursor(std::span<const uint8_t> bytes, std::string where)
      : bytes_(bytes), where_(std::move(where)) {}

  size_t Remaining() const { return bytes_.size() - pos_; }
  size_t Position() const { return pos_; }

  std::span<const uint8_t> Take(size_t count) {
    if (count > Remaining()) {
      Fail("needs " + std::to_string(count) + " bytes, only " + std::to_string(Remaining()) +
           " left");
    }
    const auto part = bytes_.subspan(pos_, count);
    pos_ += count;
    return part;
  }
  uint8_t U8() { return Take(1)[0]; }
  uint16_t U16() {
    const auto b = Take(2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  }
  uint32_t U32() {
    const auto b = Take(4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  }
  std::string Tag() {
    const auto b = Take(4);
    return std::string(reinterpret_cast<const char*>(b.data()), 4);
  }
  std::string FixedString(size_t length) {
    const auto b = Take(length);
    size_t used = 0;
    while (used < length && b[used] != 0)
      ++used;
    std::string text(reinterpret_cast<const char*>(b.data()), used);
    for (char& c : text) {
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    }
    return text;
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw SoundFontError("SoundFont " + where_ + " at byte " + std::to_string(pos_) + ": " + what);
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  std::string where_;
};

struct Chunk {
  std::string id;
  std::span<const uint8_t> body;
};

// Splits a RIFF list body into its chunks (word aligned; a final pad byte may be missing).
std::vector<Chunk> SplitChunks(std::span<const uint8_t> body, const std::string& where) {
  std::vector<Chunk> chunks;
  ByteCursor cursor(body, where);
  while (cursor.Remaining() >= 8) {
    Chunk chunk;
    chunk.id = cursor.Tag();
    const uint32_t size = cursor.U32();
    if (size > cursor.Remaining()) {
      cursor.Fail("chunk '" + chunk.id + "' claims " + std::to_string(size) + " bytes, only " +
                  std::to_string(cursor.Remaining()) + " left");
    }
    chunk.body = cursor.Take(size);
    if ((size & 1) != 0 && cursor.Remaining() > 0) cursor.Take(1);
    chunks.push_back(chunk);
  }
  return chunks;
}

const Chunk* FindChunk(const std::vector<Chunk>& chunks, const std::string& id) {
  for (const Chunk& chunk : chunks) {
    if (chunk.id == id) return &chunk;
  }
  return nullptr;
}

const Chunk& RequireChunk(const std::vector<Chunk>& chunks, const std::string& id,
                          const std::string& where) {
  const Chunk* chunk = FindChunk(chunks, id);
  if (chunk == nullptr) throw SoundFontError("SoundFont " + where + ": no '" + id + "' chunk");
  return *chunk;
}

// Record count of a hydra chunk: a whole number of records, at least the terminal one.
size_t RecordCount(const Chunk& chunk, size_t recordSize) {
  if (chunk.body.size() % recordSize != 0 || chunk.body.size() < recordSize) {
    throw SoundFontError("SoundFont pdta '" + chunk.id + "': size " +
                         std::to_string(chunk.body.size()) + " is not a positive multiple of " +
                         std::to_string(recordSize));
  }
  return chunk.body.size() / recordSize;
}

struct Bag {
  uint16_t generatorIndex;
};

std::vector<Bag> ReadBags(const Chunk& chunk) {
  const size_t count = RecordCount(chunk, 4);
  ByteCursor cursor(chunk.body, "pdta '" + chunk.id + "'");
  std::vector<Bag> bags(count);
  for (Bag& bag : bags) {
    bag.generatorIndex = cursor.U16();
    cursor.U16();  // modulator index: modulators are not used
  }
  return bags;
}

std::vector<SfGeneratorEntry> ReadGenerators(const Chunk& chunk) {
  const size_t count = RecordCount(chunk, 4);
  ByteCursor cursor(chunk.body, "pdta '" + chunk.id + "'");
  std::vector<SfGeneratorEntry> generators(count);
  for (SfGeneratorEntry& generator : generators) {
    generator.oper = cursor.U16();
    generator.amount = static_cast<int16_t>(cursor.U16());
  }
  return generators;
}

// Builds the zones of bag range [firstBag, endBag) with their generators.
std::vector<SfZone> ZonesOf(size_t firstBag, size_t endBag, const std::vector<Bag>& bags,
                            const std::vector<SfGeneratorEntry>& generators,
                            const std::string& owner) {
  if (firstBag > endBag || endBag >= bags.size()) {
    throw SoundFontError("SoundFont " + owner + ": bag range " + std::to_string(firstBag) + ".." +
                         std::to_string(endBag) + " outside " + std::to_string(bags.size()) +
                         " bags");
  }
  std::vector<SfZone> zones;
  for (size_t bag = firstBag; bag < endBag; ++bag) {
    const size_t first = bags[bag].generatorIndex;
    const size_t end = bags[bag + 1].generatorIndex;
    if (first > end || end > generators.size()) {
      throw SoundFontError("SoundFont " + owner + ": generator range " + std::to_string(first) +
                           ".." + std::to_string(end) + " outside " +
                           std::to_string(generators.size()) + " generators");
    }
    SfZone zone;
    zone.generators.assign(generators.begin() + static_cast<std::ptrdiff_t>(first),
                           generators.begin() + static_cast<std::ptrdiff_t>(end));
    zones.push_back(std::move(zone));
  }
  return zones;
}

void CheckReferences(const std::vector<SfZone>& zones, uint16_t oper, size_t limit,
                     const std::string& owner) {
  for (const SfZone& zone : zones) {
    for (const SfGeneratorEntry& generator : zone.generators) {
      if (generator.oper == oper && static_cast<uint16_t>(generator.amount) >= limit) {
        throw SoundFontError("SoundFont " + owner + ": refers to " +
                             (oper == kGenInstrument ? "instrument " : "sample ") +
                             std::to_string(static_cast<uint16_t>(generator.amount)) + " of " +
                             std::to_string(limit));
      }
    }
  }
}

}  // namespace

SoundFont ParseSoundFont(std::span<const uint8_t> bytes) {
  ByteCursor top(bytes, "header");
  if (top.Tag() != "RIFF") top.Fail("not a RIFF file");
  const uint32_t riffSize = top.U32();
  if (riffSize < 4 || riffSize > top.Remaining()) top.Fail("RIFF size does not fit the file");
  ByteCursor riff(top.Take(riffSize), "RIFF body");
  if (riff.Tag() != "sfbk") riff.Fail("RIFF form is not 'sfbk'");
  const auto topChunks = SplitChunks(riff.Take(riff.Remaining()), "RIFF body");

  std::optional<std::vector<Chunk>> info, sdta, pdta;
  for (const Chunk& chunk : topChunks) {
    if (chunk.id != "LIST") continue;
    ByteCursor list(chunk.body, "LIST");
    const std::string kind = list.Tag();
    auto chunks = SplitChunks(list.Take(list.Remaining()), "LIST '" + kind + "'");
    if (kind == "INFO") info = std::move(chunks);
    if (kind == "sdta") sdta = std::move(chunks);
    if (kind == "pdta") pdta = std::move(chunks);
  }
  if (!sdta || !pdta) throw SoundFontError("SoundFont: missing 'sdta' or 'pdta' list");

  SoundFont font;
  if (info) {
    if (const Chunk* name = FindChunk(*info, "INAM")) {
      ByteCursor cursor(name->body, "INFO 'INAM'");
      font.bankName = cursor.FixedString(name->body.size());
    }
  }
  const Chunk& smpl = RequireChunk(*sdta, "smpl", "sdta");
  font.samplePool = smpl.body.first(smpl.body.size() & ~size_t{1});

  const std::string where = "pdta";
  const Chunk& phdr = RequireChunk(*pdta, "phdr", where);
  const auto pbag = ReadBags(RequireChunk(*pdta, "pbag", where));
  const auto pgen = ReadGenerators(RequireChunk(*pdta, "pgen", where));
  const Chunk& inst = RequireChunk(*pdta, "inst", where);
  const auto ibag = ReadBags(RequireChunk(*pdta, "ibag", where));
  const auto igen = ReadGenerators(RequireChunk(*pdta, "igen", where));
  const Chunk& shdr = RequireChunk(*pdta, "shdr", where);

  const size_t sampleCount = RecordCount(shdr, 46) - 1;
  ByteCursor samples(shdr.body, "pdta 'shdr'");
  for (size_t i = 0; i < sampleCount; ++i) {
    SfSample sample;
    sample.name = samples.FixedString(20);
    sample.start = samples.U32();
    sample.end = samples.U32();
    sample.startLoop = samples.U32();
    sample.endLoop = samples.U32();
    sample.sampleRate = samples.U32();
    sample.originalPitch = samples.U8();
    sample.pitchCorrection = static_cast<int8_t>(samples.U8());
    sample.sampleLink = samples.U16();
    sample.sampleType = samples.U16();
    font.samples.push_back(sample);
  }

  const size_t instrumentCount = RecordCount(inst, 22) - 1;
  ByteCursor instruments(inst.body, "pdta 'inst'");
  std::vector<uint16_t> instrumentBags;
  std::vector<std::string> instrumentNames;
  for (size_t i = 0; i <= instrumentCount; ++i) {
    instrumentNames.push_back(instruments.FixedString(20));
    instrumentBags.push_back(instruments.U16());
  }
  for (size_t i = 0; i < instrumentCount; ++i) {
    SfInstrument instrument;
    instrument.name = instrumentNames[i];
    instrument.zones = ZonesOf(instrumentBags[i], instrumentBags[i + 1], ibag, igen,
                               "instrument '" + instrument.name + "'");
    CheckReferences(instrument.zones, kGenSampleId, sampleCount,
                    "instrument '" + instrument.name + "'");
    font.instruments.push_back(std::move(instrument));
  }

  const size_t presetCount = RecordCount(phdr, 38) - 1;
  ByteCursor presets(phdr.body, "pdta 'phdr'");
  std::vector<SfPreset> headers(presetCount + 1);
  std::vector<uint16_t> presetBags(presetCount + 1);
  for (size_t i = 0; i <= presetCount; ++i) {
    headers[i].name = presets.FixedString(20);
    headers[i].program = presets.U16();
    headers[i].bank = presets.U16();
    presetBags[i] = presets.U16();
    presets.Take(12);  // library, genre, morphology
  }
  for (size_t i = 0; i < presetCount; ++i) {
    SfPreset preset = headers[i];
    preset.zones =
        ZonesOf(presetBags[i], presetBags[i + 1], pbag, pgen, "preset '" + preset.name + "'");
    CheckReferences(preset.zones, kGenInstrument, instrumentCount, "preset '" + preset.name + "'");
    font.presets.push_back(std::move(preset));
  }
  return font;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  // A directory or a device would claim a length it does not have (2^63 bytes, or none).
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(path, ignored)) {
    throw SoundFontError("cannot read '" + path + "': not a regular file");
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) throw SoundFontError("cannot open '" + path + "'");
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0) throw SoundFontError("cannot read '" + path + "'");
  file.seekg(0, std::ios::beg);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) {
    throw SoundFontError("cannot read '" + path + "'");
  }
  return bytes;
}

}  // namespace velmo
