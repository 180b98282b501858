#include "tools/velmo-render/wav_writer.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "tools/velmo-render/render_format.h"

namespace velmo::render {
namespace {

void PutU16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(uint8_t* at, uint32_t value) {
  PutU16(at, static_cast<uint16_t>(value));
  PutU16(at + 2, static_cast<uint16_t>(value >> 16));
}

// True for a regular file that we write from its start and can rewrite there: not a pipe or a
// terminal, and not standard output appending to an existing file (">>"), where rewriting the
// header would either land at the end or overwrite what was there before.
bool IsRewritableFromStart(std::FILE* file) {
  struct stat info {};
  const int flags = fcntl(fileno(file), F_GETFL);
  return fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && flags != -1 &&
         (flags & O_APPEND) == 0 && ftello(file) == 0;
}

}  // namespace

std::array<uint8_t, kWavHeaderSize> MakeWavHeader(uint32_t dataBytes) {
  constexpr uint16_t kBlockAlign = kChannels * kBytesPerSample;
  std::array<uint8_t, kWavHeaderSize> header{};
  uint8_t* h = header.data();
  std::memcpy(h, "RIFF", 4);
  PutU32(h + 4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVE", 4);
  std::memcpy(h + 12, "fmt ", 4);
  PutU32(h + 16, 16);  // fmt chunk size
  PutU16(h + 20, 1);   // PCM
  PutU16(h + 22, kChannels);
  PutU32(h + 24, kSampleRate);
  PutU32(h + 28, kSampleRate * kBlockAlign);  // bytes per second
  PutU16(h + 32, kBlockAlign);
  PutU16(h + 34, kBytesPerSample * 8);
  std::memcpy(h + 36, "data", 4);
  PutU32(h + 40, dataBytes);
  return header;
}

PcmWriter::PcmWriter(const std::string& path, OutputContainer container,
                     std::optional<uint64_t> knownDataBytes)
    : path_(path), container_(container), knownDataBytes_(knownDataBytes) {
  if (container_ == OutputContainer::kWav && knownDataBytes_ &&
      *knownDataBytes_ > kMaxWavDataBytes) {
    throw OutputError("the render is too long for a WAV file (4 GiB at most); use --raw");
  }
  if (path == "-") {
    file_ = stdout;
  } else {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) Fail("cannot open");
    ownsFile_ = true;
    removeIfUnfinished_ = IsRewritableFromStart(file_);
  }

  if (container_ == OutputContainer::kRaw) return;
  if (knownDataBytes_) {
    WriteBytes(MakeWavHeader(static_cast<uint32_t>(*knownDataBytes_)));
  } else if (IsRewritableFromStart(file_)) {
    patchHeaderAtFinish_ = true;
    WriteBytes(MakeWavHeader(0));
  } else {
    holdInMemory_ = true;
  }
}

PcmWriter::~PcmWriter() {
  if (!ownsFile_) return;
  std::fclose(file_);
  // A render that failed half way leaves no half-written file with a wrong header behind.
  if (removeIfUnfinished_) std::remove(path_.c_str());
}

void PcmWriter::Fail(const std::string& what) const {
  const std::string target = path_ == "-" ? "standard output" : path_;
  throw OutputError(what + " " + target + ": " + std::strerror(errno));
}

void PcmWriter::WriteBytes(std::span<const uint8_t> bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) Fail("cannot write");
}

void PcmWriter::Write(std::span<const int16_t> samples) {
  const uint64_t bytes = samples.size() * sizeof(int16_t);
  if (container_ == OutputContainer::kWav && dataBytes_ + bytes > kMaxWavDataBytes) {
    throw OutputError("the render is too long for a WAV file (4 GiB at most); use --raw");
  }
  scratch_.resize(bytes);
  for (size_t i = 0; i < samples.size(); ++i) {
    PutU16(scratch_.data() + 2 * i, static_cast<uint16_t>(samples[i]));
  }
  dataBytes_ += bytes;
  if (holdInMemory_) {
    held_.insert(held_.end(), scratch_.begin(), scratch_.end());
  } else {
    WriteBytes(scratch_);
  }
}

void PcmWriter::Finish() {
  if (knownDataBytes_ && *knownDataBytes_ != dataBytes_) {
    throw OutputError("internal error: rendered " + std::to_string(dataBytes_) +
                      " bytes instead of " + std::to_string(*knownDataBytes_));
  }
  const auto header = MakeWavHeader(static_cast<uint32_t>(dataBytes_));
  if (holdInMemory_) {
    WriteBytes(header);
    WriteBytes(held_);
  } else if (patchHeaderAtFinish_) {
    if (fseeko(file_, 0, SEEK_SET) != 0) Fail("cannot seek in");
    WriteBytes(header);
  }
  if (std::fflush(file_) != 0) Fail("cannot write");
  if (ownsFile_) {
    ownsFile_ = false;
    if (std::fclose(file_) != 0) Fail("cannot write");
  }
}

}  // namespace velmo::render
