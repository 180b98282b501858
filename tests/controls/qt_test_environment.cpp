// Creates the QApplication before the first test and destroys it after the
// last one, so that Qt releases its font and platform resources before the
// leak checks run.
#include <gtest/gtest.h>

#include <memory>

#include "keyb_test_support.h"

namespace velmo::test {
namespace {

class TQtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[24] = "velmo_controls_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace

}  // namespace velmo::test
