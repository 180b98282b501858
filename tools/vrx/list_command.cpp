#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "archive/vrx_error.h"
#include "archive/vrx_file.h"
#include "archive/vrx_id.h"
#include "archive/vrx_messages.h"
#include "fileio/terminal_text.h"
#include "tools/vrx/vrx_commands.h"

namespace velmo::vrx_tool {

namespace {

std::string Ratio(std::uint64_t packed, std::uint64_t unpacked) {
  if (unpacked == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(packed) / unpacked);
  return text;
}

std::string Column(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

TVRXFileInfo CheckedHeader(const std::string& archive) {
  const TVRXFileInfo header = GetVRXFileInfo(archive);
  if (!header.HasSignature()) throw EVRXError(std::string(kVRXBadSignatureMessage));
  return header;
}

const std::string& SingleArchive(std::span<const std::string> args, const char* command) {
  if (args.size() != 1) throw UsageError{std::string(command) + " needs exactly one ARCHIVE"};
  return args[0];
}

}  // namespace

int RunList(std::span<const std::string> args) {
  const std::string& archive = SingleArchive(args, "list");
  const TVRXFileInfo header = CheckedHeader(archive);
  std::vector<TVRXDataInfo> entries;  // all read before anything is printed
  for (std::uint32_t i = 0; i < header.DataCount; ++i)
    entries.push_back(GetVRXDataInfo(archive, i));

  std::cout << Column("Packed", 12) << Column("Unpacked", 12) << Column("Ratio", 8) << "  ID\n";
  std::uint64_t packed_total = 0;
  std::uint64_t unpacked_total = 0;
  for (const TVRXDataInfo& entry : entries) {
    packed_total += entry.PackedSize;
    unpacked_total += entry.UnpackedSize;
    std::cout << Column(std::to_string(entry.PackedSize), 12)
              << Column(std::to_string(entry.UnpackedSize), 12)
              << Column(Ratio(entry.PackedSize, entry.UnpackedSize), 8) << "  "
              << fileio::EscapeForTerminal(VRXIDToUtf8(StoredVRXID(entry))) << "\n";
  }
  std::cout << Column(std::to_string(packed_total), 12)
            << Column(std::to_string(unpacked_total), 12)
            << Column(Ratio(packed_total, unpacked_total), 8) << "  (" << header.DataCount
            << (header.DataCount == 1 ? " entry, " : " entries, ")
            << (header.IsCompressed() ? "packed" : "stored") << ")\n";
  return 0;
}

int RunInfo(std::span<const std::string> args) {
  const std::string& archive = SingleArchive(args, "info");
  const TVRXFileInfo header = CheckedHeader(archive);
  std::cout << "Archive:    " << fileio::EscapeForTerminal(archive) << "\n"
            << "Signature:  VRX0\n"
            << "Compressed: " << header.Compressed
            << (header.IsCompressed() ? " (entries packed)" : " (entries stored)") << "\n"
            << "DataCount:  " << header.DataCount << "\n";
  return 0;
}

}  // namespace velmo::vrx_tool
