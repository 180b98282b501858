// Sound files read back as written: WAV and FLAC through a reader, raw as bare bytes; the
// container chosen by name; failed writes keep the old file; pipes are written in place.
#include "soundfile/sound_file_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace velmo::soundfile {
namespace {

using Bytes = std::vector<uint8_t>;

class TempFolder {
 public:
  TempFolder()
      : path_(std::filesystem::temp_directory_path() / ("sfw_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  size_t Count() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path_), {}));
  }

 private:
  std::filesystem::path path_;
};

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Every 16-bit value's neighbourhood: extremes, zero, both signs of each byte.
std::vector<int16_t> TestSamples(uint16_t channels) {
  std::vector<int16_t> samples;
  for (int32_t v = -32768; v <= 32767; v += 257)
    samples.push_back(static_cast<int16_t>(v));
  samples.push_back(32767);
  while (samples.size() % channels != 0)
    samples.push_back(0);
  return samples;
}

TEST(SoundFileWriter, ContainerFollowsTheExtension) {
  const std::pair<const char*, Container> cases[] = {
      {"a.flac", Container::kFlac}, {"A.FLAC", Container::kFlac},    {"a.wav", Container::kWav},
      {"flac", Container::kWav},    {"a.flac.wav", Container::kWav}, {"-", Container::kWav}};
  for (const auto& [name, container] : cases)
    EXPECT_EQ(ContainerForPath(name), container) << name;
}

TEST(SoundFileWriter, WavAndFlacReadBackSampleForSample) {
  TempFolder folder;
  struct Case {
    const char* name;
    Container container;
    PcmLayout layout;
    int majorFormat;
  };
  const Case cases[] = {{"s.wav", Container::kWav, {22050, 2}, SF_FORMAT_WAV},
                        {"m.wav", Container::kWav, {8000, 1}, SF_FORMAT_WAV},
                        {"s.flac", Container::kFlac, {48000, 2}, SF_FORMAT_FLAC}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<int16_t> samples = TestSamples(c.layout.channels);
    SoundFileWriter writer(folder.File(c.name), c.container, c.layout);
    writer.Write(samples);
    writer.Write(samples);
    writer.Finish();
    SF_INFO info{};
    SNDFILE* file = sf_open(folder.File(c.name).c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, c.majorFormat);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    EXPECT_EQ(info.samplerate, static_cast<int>(c.layout.sampleRate));
    EXPECT_EQ(info.channels, c.layout.channels);
    std::vector<int16_t> read(samples.size() * 2 + 2);
    EXPECT_EQ(sf_read_short(file, read.data(), static_cast<sf_count_t>(read.size())),
              static_cast<sf_count_t>(samples.size() * 2));
    sf_close(file);
    read.resize(samples.size() * 2);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), read.begin()));
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), read.begin() + samples.size()));
  }
  EXPECT_EQ(folder.Count(), std::size(cases));  // no temporary file left beside them
}

TEST(SoundFileWriter, RawIsLittleEndianSamples) {
  TempFolder folder;
  SoundFileWriter writer(folder.File("r.raw"), Container::kRaw, {22050, 2});
  writer.Write(std::vector<int16_t>{1, -2, 0x1234, -32768});
  writer.Finish();
  EXPECT_EQ(ReadAll(folder.File("r.raw")), (Bytes{0x01, 0x00, 0xFE, 0xFF, 0x34, 0x12, 0x00, 0x80}));
}

TEST(SoundFileWriter, UnfinishedOrFailedWritesKeepTheOldFile) {
  TempFolder folder;
  const std::string target = folder.File("old.wav");
  std::ofstream(target) << "old";
  for (const Container container : {Container::kWav, Container::kFlac, Container::kRaw}) {
    SoundFileWriter writer(target, container, {22050, 2});
    writer.Write(std::vector<int16_t>{1, 2, 3, 4});
    EXPECT_THROW(writer.Write(std::vector<int16_t>{1, 2, 3}), SoundFileError);  // partial frame
  }
  EXPECT_EQ(ReadAll(target), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(folder.Count(), 1u);
  EXPECT_THROW(SoundFileWriter(folder.File("no/such/folder.wav"), Container::kWav, {22050, 2}),
               SoundFileError);
}

TEST(SoundFileWriter, PipesAreWrittenInPlace) {
  // A named pipe stands for any file that cannot be replaced (devices too), without touching
  // the system's own.
  TempFolder folder;
  const std::string pipe = folder.File("pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::vector<int16_t> samples = TestSamples(2);
  for (const Container container : {Container::kWav, Container::kRaw}) {
    Bytes received;
    // Reads until the writer closes; gives up after 5 s, so a writer that never opens the pipe
    // fails the test instead of hanging it.
    const int fd = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    std::thread reader([&] {
      for (int waits = 0; waits < 50;) {
        pollfd poller{fd, POLLIN, 0};
        if (::poll(&poller, 1, 100) == 0) {
          ++waits;
          continue;
        }
        uint8_t chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) received.insert(received.end(), chunk, chunk + n);
        if (n == 0 || (n < 0 && errno != EAGAIN)) break;
      }
      ::close(fd);
    });
    {
      SoundFileWriter writer(pipe, container, {22050, 2});
      writer.Write(samples);
      writer.Finish();
    }
    reader.join();
    const size_t header = container == Container::kWav ? 44 : 0;
    ASSERT_EQ(received.size(), header + samples.size() * 2);
    EXPECT_EQ(std::string(received.begin(), received.begin() + (header ? 4 : 0)),
              header ? "RIFF" : "");
    EXPECT_EQ(received[header + 2], static_cast<uint8_t>(samples[1]));
    EXPECT_EQ(received[header + 3], static_cast<uint8_t>(static_cast<uint16_t>(samples[1]) >> 8));
    struct stat info {};
    ASSERT_EQ(::stat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
  }
  EXPECT_EQ(folder.Count(), 1u);
}

}  // namespace
}  // namespace velmo::soundfile
