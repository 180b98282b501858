#include "archive/vrx_records.h"

#include "archive/vrx_bytes.h"

namespace velmo {

namespace {

constexpr std::size_t kCompressedOffset = 0;
constexpr std::size_t kSignatureOffset = 4;
constexpr std::size_t kDataCountOffset = 12;
constexpr std::size_t kReservedOffset = 16;

constexpr std::size_t kDataPosOffset = 0;
constexpr std::size_t kPackedSizeOffset = 4;
constexpr std::size_t kUnpackedSizeOffset = 8;
constexpr std::size_t kDataIDOffset = 12;

}  // namespace

TVRXFileInfo DecodeVRXFileInfo(std::span<const std::uint8_t, kVRXHeaderSize> bytes) {
  TVRXFileInfo info;
  info.Compressed = ReadU32LE(bytes.data() + kCompressedOffset);
  for (std::size_t i = 0; i < info.Signature.size(); ++i) {
    info.Signature[i] = ReadU16LE(bytes.data() + kSignatureOffset + 2 * i);
  }
  info.DataCount = ReadU32LE(bytes.data() + kDataCountOffset);
  for (std::size_t i = 0; i < info.Reserved.size(); ++i) {
    info.Reserved[i] = bytes[kReservedOffset + i];
  }
  return info;
}

VRXFileInfoBytes EncodeVRXFileInfo(const TVRXFileInfo& info) {
  VRXFileInfoBytes bytes = {};
  WriteU32LE(bytes.data() + kCompressedOffset, info.Compressed);
  for (std::size_t i = 0; i < info.Signature.size(); ++i) {
    WriteU16LE(bytes.data() + kSignatureOffset + 2 * i, info.Signature[i]);
  }
  WriteU32LE(bytes.data() + kDataCountOffset, info.DataCount);
  for (std::size_t i = 0; i < info.Reserved.size(); ++i) {
    bytes[kReservedOffset + i] = info.Reserved[i];
  }
  return bytes;
}

TVRXDataInfo DecodeVRXDataInfo(std::span<const std::uint8_t, kVRXDataInfoSize> bytes) {
  TVRXDataInfo info;
  info.DataPos = ReadU32LE(bytes.data() + kDataPosOffset);
  info.PackedSize = ReadU32LE(bytes.data() + kPackedSizeOffset);
  info.UnpackedSize = ReadU32LE(bytes.data() + kUnpackedSizeOffset);
  for (std::size_t i = 0; i < info.DataID.size(); ++i) {
    info.DataID[i] = ReadU16LE(bytes.data() + kDataIDOffset + 2 * i);
  }
  return info;
}

VRXDataInfoBytes EncodeVRXDataInfo(const TVRXDataInfo& info) {
  VRXDataInfoBytes bytes = {};
  WriteU32LE(bytes.data() + kDataPosOffset, info.DataPos);
  WriteU32LE(bytes.data() + kPackedSizeOffset, info.PackedSize);
  WriteU32LE(bytes.data() + kUnpackedSizeOffset, info.UnpackedSize);
  for (std::size_t i = 0; i < info.DataID.size(); ++i) {
    WriteU16LE(bytes.data() + kDataIDOffset + 2 * i, info.DataID[i]);
  }
  return bytes;
}

}  // namespace velmo
