#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include "archive/vrx_error.h"
#include "archive/vrx_file.h"
#include "archive/vrx_id.h"
#include "archive/vrx_io.h"
#include "archive/vrx_pack.h"

namespace velmo {

namespace {

constexpr std::uint64_t kMaxArchiveLength = std::numeric_limits<std::uint32_t>::max();

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& file_name) {
  throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(),
                          what + " '" + file_name + "'");
}

[[noreturn]] void RaiseTooLarge(const std::string& file_name) {
  throw EVRXError("'" + file_name + "' is larger than an archive entry can be (4 GiB - 1)");
}

// A pipe or a device has no length up front: it is read to its end, in pieces.
std::vector<std::uint8_t> ReadToEnd(std::ifstream& file, const std::string& file_name) {
  std::vector<std::uint8_t> bytes;
  std::vector<char> piece(1 << 16);
  errno = 0;
  while (file.read(piece.data(), static_cast<std::streamsize>(piece.size())) || file.gcount() > 0) {
    if (bytes.size() + static_cast<std::size_t>(file.gcount()) > kMaxArchiveLength) {
      RaiseTooLarge(file_name);
    }
    bytes.insert(bytes.end(), piece.data(), piece.data() + file.gcount());
  }
  if (file.bad()) RaiseFileError("cannot read", file_name);
  return bytes;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& file_name) {
  std::ifstream file = OpenVRXInputFile(file_name);
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(file_name, ignored)) return ReadToEnd(file, file_name);
  file.seekg(0, std::ios::end);
  const std::streamoff length = file.tellg();
  file.seekg(0, std::ios::beg);
  if (length < 0 || !file) RaiseFileError("cannot read", file_name);
  if (static_cast<std::uint64_t>(length) > kMaxArchiveLength) RaiseTooLarge(file_name);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  errno = 0;
  file.read(reinterpret_cast<char*>(bytes.data()), length);
  if (file.gcount() != length) RaiseFileError("cannot read", file_name);
  return bytes;
}

void WriteAt(std::fstream& archive, std::uint64_t pos, std::span<const std::uint8_t> bytes,
             const std::string& archive_file_name) {
  errno = 0;
  archive.seekp(static_cast<std::streamoff>(pos), std::ios::beg);
  archive.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
  if (!archive) RaiseFileError("cannot write", archive_file_name);
}

TVRXDataInfo MakeEntry(std::uint32_t data_pos, std::uint32_t packed_size,
                       std::uint32_t unpacked_size, const std::u16string& id) {
  TVRXDataInfo entry;
  entry.DataPos = data_pos;
  entry.PackedSize = packed_size;
  entry.UnpackedSize = unpacked_size;
  std::copy(id.begin(), id.end(), entry.DataID.begin());
  return entry;
}

}  // namespace

void CreateVRXFile(const std::string& archive_file_name,
                   const std::vector<std::string>& source_files,
                   const std::vector<std::string>& ids, bool compress,
                   const TVRXNotifyEvent& on_notify) {
  if (source_files.size() < ids.size()) {
    throw EVRXError("CreateVRXFile: " + std::to_string(ids.size()) + " IDs but only " +
                    std::to_string(source_files.size()) + " source files");
  }
  const std::uint64_t directory_end = kVRXHeaderSize + std::uint64_t{ids.size()} * kVRXDataInfoSize;
  if (directory_end > kMaxArchiveLength) {
    throw EVRXError("CreateVRXFile: too many entries (" + std::to_string(ids.size()) + ")");
  }
  std::vector<std::u16string> stored_ids;
  stored_ids.reserve(ids.size());
  for (const std::string& id : ids)
    stored_ids.push_back(StorableVRXID(id));

  errno = 0;
  std::fstream archive(archive_file_name,
                       std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
  if (!archive) RaiseFileError("cannot create", archive_file_name);

  const auto data_count = static_cast<std::uint32_t>(ids.size());
  TVRXFileInfo header;
  header.Compressed = compress ? 1 : 0;
  header.Signature = kVRXSignature;
  header.DataCount = data_count;
  WriteAt(archive, 0, EncodeVRXFileInfo(header), archive_file_name);

  std::uint64_t data_end = directory_end;
  for (std::uint32_t i = 0; i < data_count; ++i) {
    const std::string& source_file = source_files[i];
    const auto notify = [&] {
      if (on_notify)
        on_notify(static_cast<std::int32_t>(i + 1), static_cast<std::int32_t>(data_count),
                  source_file);
    };
    try {
      std::vector<std::uint8_t> source = ReadWholeFile(source_file);
      const auto unpacked_size = static_cast<std::uint32_t>(source.size());
      const std::vector<std::uint8_t> stored = compress ? PackVRXData(source) : std::move(source);
      if (data_end + stored.size() > kMaxArchiveLength) {
        throw EVRXError("'" + archive_file_name + "' would grow past 4 GiB - 1 with '" +
                        source_file + "'");
      }
      WriteAt(archive, data_end, stored, archive_file_name);
      const auto packed_size = static_cast<std::uint32_t>(stored.size());
      const TVRXDataInfo entry = MakeEntry(static_cast<std::uint32_t>(data_end), packed_size,
                                           unpacked_size, stored_ids[i]);
      WriteAt(archive, kVRXHeaderSize + std::uint64_t{i} * kVRXDataInfoSize,
              EncodeVRXDataInfo(entry), archive_file_name);
      data_end += packed_size;
    } catch (...) {
      notify();
      throw;
    }
    notify();
  }
  errno = 0;
  archive.close();
  if (archive.fail()) RaiseFileError("cannot write", archive_file_name);
}

}  // namespace velmo
