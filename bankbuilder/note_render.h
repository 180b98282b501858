// Renders the whole sound of a SoundFont note into one wave when several zones sound at once or
// the pitch moves: every layer at its own pitch (tuning and pitch envelope), through its own
// low-pass (moved by the modulation envelope), weighted by its attenuation, pan (folded to mono)
// and its volume envelope relative to the main layer's. The engine plays the result with the
// main layer's envelope. What moves lies before the loop; the settled sound is looped at the
// end over a whole number of the note's periods, the loop's end crossfaded into what comes
// before its start so layers at other pitches or detuned ones loop without a click.
#pragma once

#include <cstdint>
#include <vector>

#include "bankbuilder/soundfont_zones.h"
#include "bankbuilder/wave_maker.h"

namespace velmo {

struct NoteLayers {
  std::vector<ResolvedZone> zones;  // every zone sounding at the key
  size_t main = 0;                  // the zone whose envelope the engine plays
  int32_t velocity = 100;
};

// The layer's weight in a mono mix: initialAttenuation (scaled as players do) times the pan
// folded to mono, (left + right) / 2 of a constant-power pan.
double LayerWeight(const ResolvedZone& zone);

// Frames RenderNote gives with no length limit (for budgets).
int64_t RenderedFrames(const SoundFont& font, const NoteLayers& layers, int32_t key, double rate);

// The note of `key` as one wave. `rate` has the meaning Resample gives it for the main layer's
// sample: the main layer plays the wave at the pitch its sample has at that rate. At most
// `maxFrames` long: a looped wave keeps its loop at the end; a one-shot fades out over its last
// fifth.
ResampledWave RenderNote(const SoundFont& font, const NoteLayers& layers, int32_t key, double rate,
                         int64_t maxFrames);

}  // namespace velmo
