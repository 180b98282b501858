#include <algorithm>
#include <optional>

#include "archive/vrx_error.h"
#include "archive/vrx_file.h"
#include "archive/vrx_id.h"
#include "archive/vrx_io.h"
#include "archive/vrx_messages.h"
#include "archive/vrx_pack.h"

namespace velmo {

namespace {

constexpr std::uint64_t kSignatureEnd = 12;

// Reads the header of an archive `length` bytes long: a stream too short to
// hold a signature is not an archive; one with a signature but cut short is truncated.
TVRXFileInfo ReadCheckedFileInfo(std::istream& archive, std::uint64_t length) {
  VRXFileInfoBytes bytes = {};
  const std::uint64_t available = std::min<std::uint64_t>(length, bytes.size());
  ReadVRXBytesAt(archive, 0, std::span(bytes.data(), available), "the header is incomplete");
  const TVRXFileInfo info = DecodeVRXFileInfo(bytes);
  if (available < kSignatureEnd || !info.HasSignature())
    throw EVRXError(std::string(kVRXBadSignatureMessage));
  if (available < bytes.size())
    throw EVRXError("VRX archive is truncated: the header is incomplete");
  return info;
}

std::optional<TVRXDataInfo> FindEntry(std::istream& archive, std::uint64_t length,
                                      const TVRXFileInfo& header, const std::string& id) {
  const std::uint64_t directory_size = std::uint64_t{header.DataCount} * kVRXDataInfoSize;
  if (kVRXHeaderSize + directory_size > length) {
    throw EVRXError("VRX archive is truncated: the directory of " +
                    std::to_string(header.DataCount) + " entries is cut short");
  }
  std::vector<std::uint8_t> directory(directory_size);
  ReadVRXBytesAt(archive, kVRXHeaderSize, directory, "the directory is cut short");

  const std::u16string wanted = VRXIDFromUtf8(id);
  for (std::uint32_t i = 0; i < header.DataCount; ++i) {
    const auto entry_bytes =
        std::span(directory).subspan(std::size_t{i} * kVRXDataInfoSize).first<kVRXDataInfoSize>();
    const TVRXDataInfo entry = DecodeVRXDataInfo(entry_bytes);
    if (VRXIDsMatch(StoredVRXID(entry), wanted)) return entry;
  }
  return std::nullopt;
}

constexpr std::uint32_t kStreamPiece = 1u << 20;

void CheckStoredBytes(std::uint64_t length, std::uint32_t pos, std::uint32_t size,
                      const std::string& id) {
  if (std::uint64_t{pos} + size > length) {
    throw EVRXError("VRX archive is truncated: the data of '" + id + "' (" + std::to_string(size) +
                    " bytes at " + std::to_string(pos) + ") runs past its end");
  }
}

std::vector<std::uint8_t> ReadStoredBytes(std::istream& archive, std::uint64_t length,
                                          std::uint32_t pos, std::uint32_t size,
                                          const std::string& id) {
  CheckStoredBytes(length, pos, size, id);
  std::vector<std::uint8_t> bytes(size);
  ReadVRXBytesAt(archive, pos, bytes, "the data of '" + id + "' is cut short");
  return bytes;
}

// Hands the entry's bytes to the sink in pieces.
void ExtractFromVRXStreamTo(std::istream& archive, const std::string& id, const VRXByteSink& sink) {
  const std::uint64_t length = VRXStreamLength(archive);
  const TVRXFileInfo header = ReadCheckedFileInfo(archive, length);
  const std::optional<TVRXDataInfo> entry = FindEntry(archive, length, header, id);
  if (!entry) throw EVRXError(VRXIDNotFoundMessage(id));

  if (header.IsCompressed()) {
    const std::vector<std::uint8_t> packed =
        ReadStoredBytes(archive, length, entry->DataPos, entry->PackedSize, id);
    UnpackVRXDataTo(packed, entry->UnpackedSize, sink);
    return;
  }
  CheckStoredBytes(length, entry->DataPos, entry->UnpackedSize, id);
  std::vector<std::uint8_t> piece;
  for (std::uint32_t done = 0; done < entry->UnpackedSize;) {
    piece.resize(std::min(kStreamPiece, entry->UnpackedSize - done));
    ReadVRXBytesAt(archive, std::uint64_t{entry->DataPos} + done, piece,
                   "the data of '" + id + "' is cut short");
    sink(piece);
    done += static_cast<std::uint32_t>(piece.size());
  }
}

}  // namespace

std::vector<std::uint8_t> ExtractFromVRXStream(std::istream& archive, const std::string& id) {
  const std::uint64_t length = VRXStreamLength(archive);
  const TVRXFileInfo header = ReadCheckedFileInfo(archive, length);
  const std::optional<TVRXDataInfo> entry = FindEntry(archive, length, header, id);
  if (!entry) throw EVRXError(VRXIDNotFoundMessage(id));

  if (header.IsCompressed()) {
    const std::vector<std::uint8_t> packed =
        ReadStoredBytes(archive, length, entry->DataPos, entry->PackedSize, id);
    return UnpackVRXData(packed, entry->UnpackedSize);
  }
  return ReadStoredBytes(archive, length, entry->DataPos, entry->UnpackedSize, id);
}

std::vector<std::uint8_t> ExtractFromVRXFile(const std::string& archive_file_name,
                                             const std::string& id) {
  std::ifstream archive = OpenVRXInputFile(archive_file_name);
  return ExtractFromVRXStream(archive, id);
}

void ExtractFromVRXFileTo(const std::string& archive_file_name, const std::string& id,
                          const VRXByteSink& sink) {
  std::ifstream archive = OpenVRXInputFile(archive_file_name);
  ExtractFromVRXStreamTo(archive, id, sink);
}

TVRXFileInfo GetVRXFileInfo(const std::string& archive_file_name) {
  std::ifstream archive = OpenVRXInputFile(archive_file_name);
  VRXFileInfoBytes bytes = {};
  ReadVRXBytesAt(archive, 0, bytes, "'" + archive_file_name + "' is shorter than a header");
  return DecodeVRXFileInfo(bytes);
}

TVRXDataInfo GetVRXDataInfo(const std::string& archive_file_name, std::uint32_t index) {
  const TVRXFileInfo header = GetVRXFileInfo(archive_file_name);
  if (index >= header.DataCount) throw EVRXError(VRXInvalidIndexMessage(index));
  std::ifstream archive = OpenVRXInputFile(archive_file_name);
  VRXDataInfoBytes bytes = {};
  ReadVRXBytesAt(archive, kVRXHeaderSize + std::uint64_t{index} * kVRXDataInfoSize, bytes,
                 "directory entry " + std::to_string(index) + " is cut short");
  return DecodeVRXDataInfo(bytes);
}

}  // namespace velmo
