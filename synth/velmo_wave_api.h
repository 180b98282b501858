/* Exported wave slot functions: put single wave images into, or take them out of, the wave
 * slots of the process-wide engine's sound bank. C-compatible.
 *
 * A wave image is a 64-byte header followed by PCM, little-endian:
 *   offset 0  u16 total length of the image in bytes, header included
 *   offset 2  u16 reserved   (copied into the slot's block header)
 *   offset 4  u16 loop start (copied; informational, sample records hold the loop)
 *   offset 6  u16 loop end   (copied; informational)
 *   offset 8  56 bytes, not used
 *   offset 64 PCM: VelmoWaveLoad  (total length - 64) / 2 signed 16-bit samples,
 *                  VelmoWaveLoad2  total length - 64 signed 8-bit samples.
 * The functions read exactly the header's total length from `data`; the caller guarantees
 * that many readable bytes.
 *
 * Rejected calls: a slot outside 0..VELMO_WAVE_SLOT_COUNT - 1, a null `data`, or a total
 * length below 64 (which would give a block under the 8-byte block header) change nothing:
 * the slot keeps what it held. So does a failed allocation. The functions have no result;
 * a caller learns whether a load took effect from VelmoWaveSlotSize, which then returns the
 * new block's size (VelmoWaveLoad: (total length - 64) / 2 + 8; VelmoWaveLoad2: total
 * length - 56).
 *
 * No lock is taken: call these while the engine's clock is stopped, or for slots that no
 * note can reach, since a sounding voice reads its wave block. */
#ifndef VELMO_SYNTH_VELMO_WAVE_API_H
#define VELMO_SYNTH_VELMO_WAVE_API_H

#ifdef __cplusplus
extern "C" {
#endif

#define VELMO_WAVE_SLOT_COUNT 3000
#define VELMO_WAVE_IMAGE_HEADER_BYTES 64

#define VELMO_WAVE_API __attribute__((visibility("default")))

/* Replaces the slot's block with the image's 16-bit samples converted to 8 bits (each sample
 * shifted right by 7 and saturated to -128..127). */
VELMO_WAVE_API void VelmoWaveLoad(int slot, const void* data);

/* Replaces the slot's block with the image's 8-bit samples, copied as they are. */
VELMO_WAVE_API void VelmoWaveLoad2(int slot, const void* data);

/* Frees the slot's block; an empty slot stays empty. */
VELMO_WAVE_API void VelmoWaveFree(int slot);

/* Size in bytes of the slot's block (header included), 0 for an empty slot, -1 for a slot
 * outside 0..VELMO_WAVE_SLOT_COUNT - 1. */
VELMO_WAVE_API int VelmoWaveSlotSize(int slot);

#ifdef __cplusplus
}
#endif

#endif /* VELMO_SYNTH_VELMO_WAVE_API_H */
