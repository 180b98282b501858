// The loading constructors of TDDSDGenWave: a RIFF WAVE file, or an entry of a VRX archive
// parsed straight from memory (no temporary file).
#include <cstring>
#include <vector>

#include "archive/vrx_file.h"
#include "audio/byte_source.h"
#include "audio/ddsd.h"
#include "audio/ddsd_gen_wave.h"
#include "audio/ddsd_notify_thread.h"
#include "audio/ddsd_report.h"
#include "audio/riff_reader.h"
#include "audio/wave_file_header.h"

namespace velmo {

namespace {

// The message of each header failure, after the file name.
const char* HeaderFailureText(WaveHeaderStatus status) {
  switch (status) {
    case WaveHeaderStatus::kNotWave:
      return "は、WAVEファイルではありません";
    case WaveHeaderStatus::kNoFmtChunk:
      return "には、fmtチャンクが有りません";
    case WaveHeaderStatus::kBadFmtChunk:
      return "のfmtチャンクが不正です";
    case WaveHeaderStatus::kNoDataChunk:
      return "には、dataチャンクが有りません";
    case WaveHeaderStatus::kOk:
      break;
  }
  return "";
}

// Reads up to `length` bytes of sample data into `region`; what the file does not hold is
// silence (0x80 for 8-bit samples, 0 otherwise), never what the memory held before.
void FillRegion(RiffReader& reader, void* region, uint32_t length, uint8_t silence) {
  if (region == nullptr || length == 0) return;
  auto* bytes = static_cast<uint8_t*>(region);
  const size_t read = reader.Read(bytes, length);
  std::memset(bytes + read, silence, length - read);
}

}  // namespace

TDDSDGenWave::TDDSDGenWave(TDDSD& owner, const std::string& fileName, bool use3D, bool useFX)
    : BufferBytes_(0), Owner_(owner), IsStream_(false), UseFX_(useFX) {
  if (!owner.Initialized()) return;
  FileByteSource file(fileName);
  if (!file.IsOpen()) {
    ReportError(fileName + "が、見つかりません");
    return;
  }
  LoadWave(file, fileName, use3D);
}

TDDSDGenWave::TDDSDGenWave(TDDSD& owner, const std::string& archiveFileName,
                           const std::string& dataId, bool use3D, bool useFX)
    : BufferBytes_(0), Owner_(owner), IsStream_(false), UseFX_(useFX) {
  std::vector<uint8_t> entry;
  try {
    entry = ExtractFromVRXFile(archiveFileName, dataId);
  } catch (...) {
    throw EDDSD(FormatMessage("アーカイブファイル %s からの %s のオープンに失敗しました",
                              archiveFileName.c_str(), dataId.c_str()));
  }
  if (!owner.Initialized()) return;
  MemoryByteSource source(std::move(entry));
  LoadWave(source, archiveFileName + ":" + dataId, use3D);
}

void TDDSDGenWave::LoadWave(ByteSource& source, const std::string& name, bool use3D) {
  RiffReader reader(source);
  WaveFileHeader header;
  const WaveHeaderStatus status = ReadWaveFileHeader(reader, header);
  if (status != WaveHeaderStatus::kOk) {
    ReportError(name + HeaderFailureText(status));
    return;
  }
  WaveFormat_ = header.format;
  BufferBytes_ = header.dataBytes;
  const BufferDescription description{
      .flags = LoadedBufferFlags(UseFX_, use3D, Owner_.getStickyFocus()),
      .bufferBytes = BufferBytes_,
      .format = &WaveFormat_,
  };
  // The device refuses what it cannot mix (float, 24-bit, more than two channels...) with a
  // code, which the report carries.
  std::shared_ptr<SecondaryBuffer> created;
  if (CheckResult(Owner_.DirectSound()->CreateSoundBuffer(description, created),
                  "サウンドバッファの作成に失敗しました") != kOk) {
    return;
  }
  SoundBuffer_ = std::move(created);
  void* first = nullptr;
  uint32_t firstLength = 0;
  void* second = nullptr;
  uint32_t secondLength = 0;
  if (CheckResult(
          SoundBuffer_->Lock(0, BufferBytes_, &first, &firstLength, &second, &secondLength, 0),
          "LoadWAV中に、サウンドバッファのロックが失敗しました") != kOk) {
    return;
  }
  const uint8_t silence = WaveFormat_.wBitsPerSample == 8 ? 0x80 : 0x00;
  FillRegion(reader, first, firstLength, silence);
  FillRegion(reader, second, secondLength, silence);
  if (CheckResult(SoundBuffer_->Unlock(first, firstLength, second, secondLength),
                  "LoadWAV中に、サウンドバッファのアンロックが失敗しました") != kOk) {
    return;
  }
  SoundBuffer_->SetFrequency(WaveFormat_.nSamplesPerSec);
}

}  // namespace velmo
