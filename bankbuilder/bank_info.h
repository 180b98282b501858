// What `velmo-bank info` reports about an image: section counts and offsets, waves, regions
// per program, and the consistency problems a note-on would run into.
#pragma once

#include <string>
#include <vector>

#include "bankbuilder/bank_image.h"

namespace velmo {

struct BankReport {
  ImageLayout layout;
  int32_t waveCount = 0;
  size_t waveBytes = 0;
  std::vector<int32_t> regionsPerInstrument;  // all 500 records
  std::vector<std::string> problems;          // references that point nowhere, etc.
};

BankReport InspectBank(const BankImage& image, const ImageLayout& layout);

std::string FormatReportText(const BankReport& report);
std::string FormatReportJson(const BankReport& report);

}  // namespace velmo
