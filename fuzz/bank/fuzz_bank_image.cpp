// Feeds arbitrary bytes to the bank image reader and inspects what it accepts.
#include <cstddef>
#include <cstdint>
#include <span>

#include "bankbuilder/bank_image.h"
#include "bankbuilder/bank_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    velmo::ImageLayout layout;
    const velmo::BankImage image =
        velmo::ParseBankImage(std::span<const uint8_t>(data, size), &layout);
    const velmo::BankReport report = velmo::InspectBank(image, layout);
    (void)velmo::FormatReportJson(report);
  } catch (const velmo::BankImageError&) {
  }
  return 0;
}
