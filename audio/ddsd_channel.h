// TDDSDChannel: a playback slot of the device component. It shares the buffer of a stream (or
// effects) wave and plays its own duplicate of any other wave.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/secondary_buffer.h"

namespace velmo {

class TDDSD;
class TDDSDGenWave;
class TDDSDParams3D;

// Every operation does nothing, and every getter returns 0, while the channel has no buffer.
// Platform results are not checked.
class TDDSDChannel {
 public:
  explicit TDDSDChannel(TDDSD& owner);
  ~TDDSDChannel();  // releases the buffer references and frees Params3D
  TDDSDChannel(const TDDSDChannel&) = delete;
  TDDSDChannel& operator=(const TDDSDChannel&) = delete;

  // Attaches `wave` (null detaches). The channel does not own the wave.
  void setWaveData(TDDSDGenWave* wave);
  TDDSDGenWave* getWaveData() const { return WaveData_; }

  void Play();                         // once, from the start
  void LoopPlay();                     // looping, from the start
  void PlayAt(uint32_t position);      // once, from `position` bytes
  void LoopPlayAt(uint32_t position);  // looping, from `position` bytes
  void Stop();                         // the position stays where it is

  // Plays at the wave's own rate times `rate`.
  void setFreqRate(double rate);
  // Volume in 1/100 dB, 0 = full, -10000 = silent.
  void setVolume(int32_t volume);
  // -10000 (left) .. 10000 (right): 1/100 dB of attenuation of the opposite side. Ignored on a
  // 3D channel, which its place pans.
  void setPan(int32_t pan);
  // Copies `params` into this channel's Params3D, which acts on its 3D buffer.
  void setParams3D(TDDSDParams3D& params);
  TDDSDParams3D& getParams3D() { return *Params3D_; }
  uint32_t getStatus() const;
  uint32_t getPlayPosition() const;
  void setPlayPosition(uint32_t position);

  int32_t getFrequency() const { return Frequency_; }
  uint32_t getBaseFrequency() const { return BaseFrequency_; }
  int32_t getVolume() const { return Volume_; }
  int32_t getPan() const { return Pan_; }
  bool IsStream() const { return IsStream_; }
  bool Is3D() const { return Is3D_; }
  const std::shared_ptr<SecondaryBuffer>& SoundBuffer() const { return SoundBuffer_; }
  // The 3D interface of SoundBuffer; set only while a 3D wave is attached.
  const std::shared_ptr<SecondaryBuffer>& SoundBuffer3D() const { return SoundBuffer3D_; }

 private:
  void StartAt(uint32_t position, uint32_t playFlags);

  std::shared_ptr<SecondaryBuffer> SoundBuffer_;
  std::shared_ptr<SecondaryBuffer> SoundBuffer3D_;
  bool Is3D_ = false;
  TDDSD& Owner_;
  int32_t Pan_ = 0;
  int32_t Frequency_ = 0;       // Hz
  uint32_t BaseFrequency_ = 0;  // the attached wave's nSamplesPerSec
  int32_t Volume_ = 0;
  TDDSDGenWave* WaveData_ = nullptr;
  std::unique_ptr<TDDSDParams3D> Params3D_;
  bool IsStream_ = false;
};

}  // namespace velmo
