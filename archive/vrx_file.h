#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "archive/vrx_pack.h"
#include "archive/vrx_records.h"

namespace velmo {

// Progress of CreateVRXFile: called once per entry, after the entry has been
// handled (also when handling it failed).
//   Progress    1-based number of the entry just handled
//   FileCount   number of entries
//   SourceFile  source file name of that entry
using TVRXNotifyEvent = std::function<void(std::int32_t Progress, std::int32_t FileCount,
                                           const std::string& SourceFile)>;

// Creates (or overwrites) an archive holding source_files[i] under ids[i] for
// every ID, packed when `compress` is true, else stored as is. IDs are UTF-8;
// one that is not valid UTF-8, holds a zero character or is longer than 255
// UTF-16 units raises EVRXError before the archive file is touched. File
// failures raise std::system_error; an archive already partly written stays.
// `on_notify` may be empty.
void CreateVRXFile(const std::string& archive_file_name,
                   const std::vector<std::string>& source_files,
                   const std::vector<std::string>& ids, bool compress,
                   const TVRXNotifyEvent& on_notify = {});

// Finds the first entry whose ID equals `id` case-insensitively and returns its
// unpacked bytes. The archive occupies `archive` from position 0. Raises
// EVRXError for a bad signature, an ID not found, or a truncated or corrupt
// archive.
std::vector<std::uint8_t> ExtractFromVRXStream(std::istream& archive, const std::string& id);

// ExtractFromVRXStream on a file; a file that cannot be opened raises std::system_error.
std::vector<std::uint8_t> ExtractFromVRXFile(const std::string& archive_file_name,
                                             const std::string& id);

// ExtractFromVRXFile handing the entry's bytes to `sink` piece by piece (1 MiB at most each)
// instead of returning them, so that memory stays small whatever the entry's size: only a
// packed entry's packed bytes are held. The checks and errors are the same, but bytes before a
// fault found later have already gone to the sink.
void ExtractFromVRXFileTo(const std::string& archive_file_name, const std::string& id,
                          const VRXByteSink& sink);

// The archive's header, without checking its signature.
TVRXFileInfo GetVRXFileInfo(const std::string& archive_file_name);

// Directory entry `index`; raises EVRXError when index is not below DataCount.
TVRXDataInfo GetVRXDataInfo(const std::string& archive_file_name, std::uint32_t index);

}  // namespace velmo
