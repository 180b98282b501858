// Plays single notes of a bank image through the engine for the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace velmo {
struct Engine;
}

namespace velmo::testing {

// Loads the image into a fresh engine, sends a program change (melodic channels) and a note-on
// with velocity 100, and returns `blocks` rendered blocks as mono (left + right) samples.
std::vector<int32_t> PlayNote(std::span<const uint8_t> image, int32_t channel, int32_t program,
                              int32_t key, int32_t blocks);

// Plays notes of one bank image, loaded once into an engine that is reset before every note.
class NotePlayer {
 public:
  explicit NotePlayer(std::span<const uint8_t> image);
  ~NotePlayer();
  std::vector<int32_t> Play(int32_t channel, int32_t program, int32_t key, int32_t blocks);

 private:
  std::unique_ptr<Engine> engine_;
};

// Frequency from the mean spacing of rising zero crossings in samples [from, from + count).
double ZeroCrossingFrequency(const std::vector<int32_t>& samples, size_t from, size_t count);

double RmsOf(const std::vector<int32_t>& samples, size_t from, size_t count);

}  // namespace velmo::testing
