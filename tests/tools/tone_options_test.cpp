// velmo-tone's options: numbers are whole tokens, finite and in range, or refused by name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/velmo-tone/tone_options.h"

namespace velmo::tone {
namespace {

struct Case {
  std::vector<std::string> args;
  const char* error;  // part of the refusal; nullptr: accepted
  double (*field)(const ToneOptions&) = nullptr;
  double expected = 0;
};

double Seconds(const ToneOptions& o) {
  return o.seconds;
}
double Frequency(const ToneOptions& o) {
  return o.frequency;
}
double Volume(const ToneOptions& o) {
  return o.volume;
}
double Pan(const ToneOptions& o) {
  return o.pan;
}

TEST(ToneOptions, NumbersAreWholeFiniteAndInRange) {
  const Case cases[] = {
      {{"--seconds", "86400"}, nullptr, Seconds, 86400},
      {{"--seconds", "0"}, nullptr, Seconds, 0},
      {{"--seconds", "2.5e1"}, nullptr, Seconds, 25},
      {{"--seconds", "86400.5"}, "bad value for --seconds: 86400.5"},
      {{"--seconds", "-1"}, "bad value for --seconds"},
      {{"--seconds", "inf"}, "bad value for --seconds"},
      {{"--seconds", "nan"}, "bad value for --seconds"},
      {{"--seconds", "3s"}, "bad value for --seconds"},
      {{"--seconds", " 3"}, "bad value for --seconds"},
      {{"--seconds", "+3"}, "bad value for --seconds"},
      {{"--seconds", ""}, "bad value for --seconds"},
      {{"--freq", "10000.5"}, nullptr, Frequency, 10000.5},
      {{"--freq", "0"}, "bad value for --freq"},
      {{"--freq", "11025"}, "bad value for --freq"},
      {{"--freq", "-inf"}, "bad value for --freq"},
      {{"--volume", "-10000"}, nullptr, Volume, -10000},
      {{"--volume", "-10001"}, "bad value for --volume"},
      {{"--volume", "1"}, "bad value for --volume"},
      {{"--volume", "-5.5"}, "bad value for --volume"},
      {{"--pan", "10000"}, nullptr, Pan, 10000},
      {{"--pan", "-10000"}, nullptr, Pan, -10000},
      {{"--pan", "10001"}, "bad value for --pan"},
      {{"--pan", "99999999999"}, "bad value for --pan"},
      {{"--seconds"}, "missing value after --seconds"},
      {{"--loud", "1"}, "unknown option --loud"},
      {{"--freq", "1\x1b[2J\n"}, "bad value for --freq: 1\\x1B[2J\\x0A"},
      {{"--\x1b]0;x\x07", "1"}, "unknown option --\\x1B]0;x\\x07"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words = {"velmo-tone"};
    words.insert(words.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
      argv.push_back(word.data());
    std::string error;
    const std::optional<ToneOptions> options =
        ParseToneOptions(static_cast<int>(argv.size()), argv.data(), error);
    const std::string shown = c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : "");
    if (c.error == nullptr) {
      ASSERT_TRUE(options.has_value()) << shown << ": " << error;
      EXPECT_EQ(c.field(*options), c.expected) << shown;
    } else {
      EXPECT_FALSE(options.has_value()) << shown;
      EXPECT_NE(error.find(c.error), std::string::npos) << shown << ": " << error;
    }
  }
}

}  // namespace
}  // namespace velmo::tone
