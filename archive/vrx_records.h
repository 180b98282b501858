#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace velmo {

// Layout of a VRX archive: the header, then DataCount directory entries, then
// the stored bytes of the entries in directory order. All integers little-endian.
inline constexpr std::uint32_t kVRXHeaderSize = 260;
inline constexpr std::uint32_t kVRXDataInfoSize = 524;
inline constexpr std::size_t kVRXDataIDUnits = 256;  // UTF-16 units, zero-terminated
inline constexpr std::size_t kVRXMaxIDUnits = kVRXDataIDUnits - 1;
inline constexpr std::array<char16_t, 4> kVRXSignature = {u'V', u'R', u'X', u'0'};

// The archive header (260 bytes on disk).
struct TVRXFileInfo {
  std::uint32_t Compressed = 0;  // 1: every entry packed; anything else: stored as is
  std::array<char16_t, 4> Signature = {};
  std::uint32_t DataCount = 0;
  std::array<std::uint8_t, 244> Reserved = {};

  bool HasSignature() const { return Signature == kVRXSignature; }
  bool IsCompressed() const { return Compressed == 1; }
};

// One directory entry (524 bytes on disk).
struct TVRXDataInfo {
  std::uint32_t DataPos = 0;       // absolute offset of the stored bytes
  std::uint32_t PackedSize = 0;    // stored bytes
  std::uint32_t UnpackedSize = 0;  // bytes of the source file
  std::array<char16_t, kVRXDataIDUnits> DataID = {};
};

using VRXFileInfoBytes = std::array<std::uint8_t, kVRXHeaderSize>;
using VRXDataInfoBytes = std::array<std::uint8_t, kVRXDataInfoSize>;

TVRXFileInfo DecodeVRXFileInfo(std::span<const std::uint8_t, kVRXHeaderSize> bytes);
VRXFileInfoBytes EncodeVRXFileInfo(const TVRXFileInfo& info);
TVRXDataInfo DecodeVRXDataInfo(std::span<const std::uint8_t, kVRXDataInfoSize> bytes);
VRXDataInfoBytes EncodeVRXDataInfo(const TVRXDataInfo& info);

}  // namespace velmo
