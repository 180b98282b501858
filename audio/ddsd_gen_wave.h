// TDDSDGenWave: one secondary sound buffer. Made as a stream it is a looping buffer in two
// halves, served by a notify thread that raises OnUpdate each time one half has become free.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/secondary_buffer.h"
#include "audio/wave_format.h"

namespace velmo {

class TDDSD;
class TDDSDChannel;
class TDDSDGenWave;
class TDDSDNotifyThread;
class ByteSource;

// The stream's update event: the free region is `bufferSize` bytes from `availableOffset`.
using TDDSDUpdateEvent = std::function<void(TDDSDGenWave& Sender, TDDSDChannel* Player,
                                            uint32_t availableOffset, uint32_t bufferSize)>;

// The capability flags of a secondary buffer made with these options.
uint32_t SecondaryBufferFlags(bool stream, bool useFX, bool use3D, bool stickyFocus);
// The capability flags of a buffer loaded from a WAVE file: effects replace 3D here.
uint32_t LoadedBufferFlags(bool useFX, bool use3D, bool stickyFocus);

class TDDSDGenWave {
 public:
  // Makes a buffer of `bufferBytes` bytes in the given PCM format; a stream also gets its
  // notify thread. Without an initialised owner the wave has no buffer and no thread.
  TDDSDGenWave(TDDSD& owner, uint32_t samplesPerSec, uint32_t bitsPerSample, bool stereo,
               uint32_t bufferBytes, bool use3D, bool useFX, bool stream);
  // Loads the RIFF WAVE file `fileName`. A file that is missing or malformed is reported (and
  // raised with dsoExceptOnError); the wave then has no buffer.
  TDDSDGenWave(TDDSD& owner, const std::string& fileName, bool use3D, bool useFX);
  // Loads the entry `dataId` of the VRX archive `archiveFileName`, parsed straight from memory.
  // An entry that cannot be extracted raises EDDSD whatever the debug options.
  TDDSDGenWave(TDDSD& owner, const std::string& archiveFileName, const std::string& dataId,
               bool use3D, bool useFX);
  // Stops the notify thread (waiting for it) before releasing the buffer. Must not run inside
  // this wave's own OnUpdate handler.
  virtual ~TDDSDGenWave();
  TDDSDGenWave(const TDDSDGenWave&) = delete;
  TDDSDGenWave& operator=(const TDDSDGenWave&) = delete;

  // Copies `size` bytes from `data` into the buffer from byte `offset`, wrapping at its end.
  // Callable from any thread; allocates nothing.
  void BlockCopy(uint32_t offset, const void* data, uint32_t size);
  // Raises OnUpdate for the half the notify thread names (called on the notify thread).
  void Sync();

  // The handler may be set or replaced at any time; an empty function counts as unassigned.
  void setOnUpdate(TDDSDUpdateEvent handler);
  bool OnUpdateAssigned() const;

  const std::shared_ptr<SecondaryBuffer>& SoundBuffer() const { return SoundBuffer_; }
  const velmo::WaveFormat& WaveFormat() const { return WaveFormat_; }
  uint32_t BufferBytes() const { return BufferBytes_; }
  TDDSD& Owner() const { return Owner_; }
  bool IsStream() const { return IsStream_; }
  bool UseFX() const { return UseFX_; }
  uint32_t HalfSize() const { return HalfSize_; }
  TDDSDNotifyThread* NotifyThread() const { return NotifyThread_.get(); }
  TDDSDChannel* Player() const { return Player_.load(std::memory_order_acquire); }
  void setPlayer(TDDSDChannel* player) { Player_.store(player, std::memory_order_release); }

 private:
  void CreateBuffer(uint32_t samplesPerSec, uint32_t bitsPerSample, bool stereo, bool use3D);
  // The WAVE loading steps over `source`; `name` leads every message.
  void LoadWave(ByteSource& source, const std::string& name, bool use3D);

  std::shared_ptr<SecondaryBuffer> SoundBuffer_;
  velmo::WaveFormat WaveFormat_;
  uint32_t BufferBytes_;
  TDDSD& Owner_;
  bool IsStream_;
  bool UseFX_;
  uint32_t HalfSize_ = 0;
  std::unique_ptr<TDDSDNotifyThread> NotifyThread_;
  std::atomic<std::shared_ptr<const TDDSDUpdateEvent>> OnUpdate_;
  std::atomic<TDDSDChannel*> Player_{nullptr};
};

// The plain (non-3D) wave.
class TDDSDWaveData : public TDDSDGenWave {
 public:
  TDDSDWaveData(TDDSD& owner, uint32_t samplesPerSec, uint32_t bitsPerSample, bool stereo,
                uint32_t bufferBytes, bool useFX);
  // From a WAVE file, or from an entry of a VRX archive.
  TDDSDWaveData(TDDSD& owner, const std::string& fileName, bool useFX);
  TDDSDWaveData(TDDSD& owner, const std::string& archiveFileName, const std::string& dataId,
                bool useFX);
  // The same wave as a stream.
  static std::unique_ptr<TDDSDWaveData> CreateStream(TDDSD& owner, uint32_t samplesPerSec,
                                                     uint32_t bitsPerSample, bool stereo,
                                                     uint32_t bufferBytes, bool useFX);

 private:
  struct StreamTag {};
  TDDSDWaveData(StreamTag, TDDSD& owner, uint32_t samplesPerSec, uint32_t bitsPerSample,
                bool stereo, uint32_t bufferBytes, bool useFX);
};

}  // namespace velmo
