#include "bankbuilder/bank_info.h"

#include <sstream>

namespace velmo {
namespace {

constexpr const char* kSectionNames[7] = {"InstrumentTable", "SampleTable", "WaveSlots",  "BankMap",
                                          "DrumKitMap",      "ProgramMap",  "DrumNoteMap"};

void CheckSampleRecord(const BankImage& image, size_t index, std::vector<std::string>& problems) {
  const ImageSample& s = image.samples[index];
  const std::string name = "sample record " + std::to_string(index);
  if (s.waveSlot >= kImageWaveSlots || image.waves[s.waveSlot].empty()) {
    problems.push_back(name + " names empty wave slot " + std::to_string(s.waveSlot));
    return;
  }
  const size_t frames = image.waves[s.waveSlot].size() - kImageWaveHeaderBytes;
  if (frames < 3 || s.start + 3u > frames) {
    problems.push_back(name + " starts fewer than 3 frames before the end of its wave");
  }
  if (s.loopMode > 3) problems.push_back(name + " has loop mode " + std::to_string(s.loopMode));
  if (s.loopMode != 0 && (s.loopStart >= s.loopEnd || s.loopEnd >= frames)) {
    problems.push_back(name + " has loop " + std::to_string(s.loopStart) + ".." +
                       std::to_string(s.loopEnd) + " outside its wave of " +
                       std::to_string(frames) + " frames");
  }
}

}  // namespace

BankReport InspectBank(const BankImage& image, const ImageLayout& layout) {
  BankReport report;
  report.layout = layout;
  for (const auto& block : image.waves) {
    if (block.empty()) continue;
    ++report.waveCount;
    report.waveBytes += block.size();
  }
  if (layout.trailingBytes != 0) {
    report.problems.push_back(std::to_string(layout.trailingBytes) +
                              " bytes follow section 7 (the loader ignores them)");
  }
  std::vector<bool> checked(kImageSamples, false);
  for (size_t i = 0; i < image.instruments.size(); ++i) {
    const ImageInstrument& record = image.instruments[i];
    report.regionsPerInstrument.push_back(record.RegionCount());
    const std::string name = "instrument " + std::to_string(i);
    for (size_t r = 0; r < 16; ++r) {
      if (r > 0 && record.regionTopKey[r] < record.regionTopKey[r - 1]) {
        report.problems.push_back(name + " has region top keys out of order at region " +
                                  std::to_string(r));
      }
      const uint16_t sample = record.regionSample[r];
      if (sample == 0) continue;
      if (sample >= kImageSamples) {
        report.problems.push_back(name + " names sample record " + std::to_string(sample));
      } else if (!checked[sample]) {
        checked[sample] = true;
        CheckSampleRecord(image, sample, report.problems);
      }
    }
    if (record.pitchKeyTrack < 0 || record.pitchKeyTrack > 6) {
      report.problems.push_back(name + " has key-tracking selector " +
                                std::to_string(record.pitchKeyTrack));
    }
    if (record.levelKeyScale < 0 || record.levelKeyScale > 6) {
      report.problems.push_back(name + " has key-level mode " +
                                std::to_string(record.levelKeyScale));
    }
  }
  for (size_t b = 0; b < image.bankMap.size(); ++b) {
    if (image.bankMap[b] >= kImageMapRows) {
      report.problems.push_back("BankMap[" + std::to_string(b) + "] names row " +
                                std::to_string(image.bankMap[b]));
    }
  }
  for (const auto* map : {&image.programMap, &image.drumNoteMap}) {
    for (size_t row = 0; row < map->size(); ++row) {
      for (size_t k = 0; k < 128; ++k) {
        const uint16_t v = (*map)[row][k];
        if (v != kImageNoInstrument && v >= kImageInstruments) {
          report.problems.push_back(
              std::string(map == &image.programMap ? "ProgramMap" : "DrumNoteMap") + "[" +
              std::to_string(row) + "][" + std::to_string(k) + "] names instrument " +
              std::to_string(v));
        }
      }
    }
  }
  return report;
}

std::string FormatReportText(const BankReport& report) {
  std::ostringstream out;
  out << "bytes: " << report.layout.totalBytes << "\n";
  for (size_t s = 0; s < 7; ++s) {
    out << "section " << s + 1 << " " << kSectionNames[s] << ": count " << report.layout.counts[s]
        << " at byte " << report.layout.offsets[s] << "\n";
  }
  out << "wave slots in use: " << report.waveCount << ", " << report.waveBytes << " bytes\n";
  out << "regions per program:";
  for (size_t p = 0; p < 128 && p < report.regionsPerInstrument.size(); ++p) {
    out << (p % 16 == 0 ? "\n  " : " ") << report.regionsPerInstrument[p];
  }
  int32_t drums = 0;
  for (size_t i = 128; i < 175 && i < report.regionsPerInstrument.size(); ++i) {
    if (report.regionsPerInstrument[i] > 0) ++drums;
  }
  out << "\ndrum instruments 128..174 with a region: " << drums << "\n";
  out << "problems: " << report.problems.size() << "\n";
  for (const std::string& problem : report.problems)
    out << "  " << problem << "\n";
  return out.str();
}

std::string FormatReportJson(const BankReport& report) {
  auto quote = [](const std::string& text) {
    std::string q = "\"";
    for (const char c : text) {
      if (c == '"' || c == '\\') q += '\\';
      q += c;
    }
    return q + "\"";
  };
  std::ostringstream out;
  out << "{\"bytes\": " << report.layout.totalBytes << ", \"sections\": [";
  for (size_t s = 0; s < 7; ++s) {
    out << (s ? ", " : "") << "{\"name\": \"" << kSectionNames[s]
        << "\", \"count\": " << report.layout.counts[s]
        << ", \"offset\": " << report.layout.offsets[s] << "}";
  }
  out << "], \"waveSlotsInUse\": " << report.waveCount << ", \"waveBytes\": " << report.waveBytes
      << ", \"regionsPerInstrument\": [";
  for (size_t i = 0; i < report.regionsPerInstrument.size(); ++i) {
    out << (i ? ", " : "") << report.regionsPerInstrument[i];
  }
  out << "], \"problems\": [";
  for (size_t i = 0; i < report.problems.size(); ++i) {
    out << (i ? ", " : "") << quote(report.problems[i]);
  }
  out << "]}\n";
  return out.str();
}

}  // namespace velmo
