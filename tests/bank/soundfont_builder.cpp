#include "tests/bank/soundfont_builder.h"

#include <cmath>
#include <cstring>

namespace velmo::testing {
namespace {

class Bytes {
 public:
  void U8(uint8_t v) { data.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void Tag(const char* tag) { data.insert(data.end(), tag, tag + 4); }
  void Name(const std::string& name) {
    for (size_t i = 0; i < 20; ++i)
      U8(i < name.size() ? static_cast<uint8_t>(name[i]) : 0);
  }
  void Chunk(const char* tag, const Bytes& body) {
    Tag(tag);
    U32(static_cast<uint32_t>(body.data.size()));
    data.insert(data.end(), body.data.begin(), body.data.end());
    if (body.data.size() % 2 != 0) U8(0);
  }
  void List(const char* kind, const Bytes& body) {
    Bytes list;
    list.Tag(kind);
    list.data.insert(list.data.end(), body.data.begin(), body.data.end());
    Chunk("LIST", list);
  }
  std::vector<uint8_t> data;
};

}  // namespace

std::vector<uint8_t> WriteSoundFont(const std::vector<TestSample>& samples,
                                    const std::vector<TestPreset>& presets) {
  Bytes smpl, shdr;
  for (const TestSample& s : samples) {
    const auto start = static_cast<uint32_t>(smpl.data.size() / 2);
    for (const int16_t f : s.frames)
      smpl.U16(static_cast<uint16_t>(f));
    for (int i = 0; i < 46; ++i)
      smpl.U16(0);  // the format's zero gap after each sample
    shdr.Name(s.name);
    shdr.U32(start);
    shdr.U32(start + static_cast<uint32_t>(s.frames.size()));
    shdr.U32(start + s.loopStart);
    shdr.U32(start + s.loopEnd);
    shdr.U32(s.sampleRate);
    shdr.U8(s.originalPitch);
    shdr.U8(static_cast<uint8_t>(s.pitchCorrection));
    shdr.U16(0);
    shdr.U16(s.sampleType);
  }
  shdr.Name("EOS");
  for (int i = 0; i < 26; ++i)
    shdr.U8(0);

  Bytes phdr, pbag, pgen, inst, ibag, igen, pmod, imod;
  uint16_t pbagCount = 0, pgenCount = 0, ibagCount = 0, igenCount = 0;
  for (size_t p = 0; p < presets.size(); ++p) {
    const TestPreset& preset = presets[p];
    phdr.Name(preset.name);
    phdr.U16(preset.program);
    phdr.U16(preset.bank);
    phdr.U16(pbagCount);
    phdr.U32(0);
    phdr.U32(0);
    phdr.U32(0);
    pbag.U16(pgenCount);
    pbag.U16(0);
    ++pbagCount;
    for (const auto& [oper, amount] : preset.presetGenerators) {
      pgen.U16(oper);
      pgen.U16(static_cast<uint16_t>(amount));
      ++pgenCount;
    }
    pgen.U16(41);  // instrument
    pgen.U16(static_cast<uint16_t>(p));
    ++pgenCount;

    inst.Name(preset.name);
    inst.U16(ibagCount);
    if (!preset.globalInstrumentGenerators.empty()) {
      ibag.U16(igenCount);
      ibag.U16(0);
      ++ibagCount;
      for (const auto& [oper, amount] : preset.globalInstrumentGenerators) {
        igen.U16(oper);
        igen.U16(static_cast<uint16_t>(amount));
        ++igenCount;
      }
    }
    for (const TestZone& zone : preset.zones) {
      ibag.U16(igenCount);
      ibag.U16(0);
      ++ibagCount;
      for (const auto& [oper, amount] : zone.generators) {
        igen.U16(oper);
        igen.U16(static_cast<uint16_t>(amount));
        ++igenCount;
      }
      igen.U16(53);  // sampleID
      igen.U16(zone.sample);
      ++igenCount;
    }
  }
  phdr.Name("EOP");
  phdr.U16(0);
  phdr.U16(0);
  phdr.U16(pbagCount);
  for (int i = 0; i < 12; ++i)
    phdr.U8(0);
  pbag.U16(pgenCount);
  pbag.U16(0);
  pgen.U32(0);
  inst.Name("EOI");
  inst.U16(ibagCount);
  ibag.U16(igenCount);
  ibag.U16(0);
  igen.U32(0);
  for (int i = 0; i < 10; ++i) {
    pmod.U8(0);
    imod.U8(0);
  }

  Bytes info, sdta, pdta;
  Bytes ifil;
  ifil.U16(2);
  ifil.U16(1);
  info.Chunk("ifil", ifil);
  Bytes inam;
  for (const char c : std::string("Test"))
    inam.U8(static_cast<uint8_t>(c));
  inam.U8(0);
  info.Chunk("INAM", inam);
  sdta.Chunk("smpl", smpl);
  pdta.Chunk("phdr", phdr);
  pdta.Chunk("pbag", pbag);
  pdta.Chunk("pmod", pmod);
  pdta.Chunk("pgen", pgen);
  pdta.Chunk("inst", inst);
  pdta.Chunk("ibag", ibag);
  pdta.Chunk("imod", imod);
  pdta.Chunk("igen", igen);
  pdta.Chunk("shdr", shdr);
  Bytes body;
  body.Tag("sfbk");
  body.List("INFO", info);
  body.List("sdta", sdta);
  body.List("pdta", pdta);
  Bytes file;
  file.Tag("RIFF");
  file.U32(static_cast<uint32_t>(body.data.size()));
  file.data.insert(file.data.end(), body.data.begin(), body.data.end());
  return file.data;
}

std::vector<int16_t> Sine(size_t frames, double period, double amplitude) {
  std::vector<int16_t> out(frames);
  for (size_t i = 0; i < frames; ++i) {
    out[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * i / period)));
  }
  return out;
}

}  // namespace velmo::testing
