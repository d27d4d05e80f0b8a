// The archives read through libarchive: tar in its compressions, 7z, RAR 4
// and 5, ISO 9660 images, CPIO, and single compressed files (.gz, .bz2,
// .xz, .zst), whose one member is named after the file. ZIP and CAB keep
// their own readers (describe/ArchiveZip.h, cabinet/).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "describe/Archive.h"

// The kind of archive a file name announces, by its (double) extension,
// ignoring case; None for anything libarchive does not read for us.
enum class LibarchiveKind { None, Tar, SevenZip, Rar, Iso, Cpio, SingleFile };
LibarchiveKind LibarchiveKindOf(std::string_view fileName);
inline bool IsLibarchiveName(std::string_view fileName) { return LibarchiveKindOf(fileName) != LibarchiveKind::None; }

// What a listing read. A damaged archive keeps the members read before the
// damage, with the cause in damage; encrypted members are listed when
// their names can be read, and counted.
struct LibarchiveListing {
  std::vector<ArchiveMember> members;
  std::string damage;           // "" when the archive was read to its end
  size_t encryptedMembers = 0;  // members whose contents need the password
  bool namesEncrypted = false;  // the names themselves need the password
};

// The limits of the calls below that take none: how much one member may
// inflate to when it is counted (single compressed files store no size) or
// extracted. Process-wide; the fuzz targets lower them.
void SetLibarchiveLimits(const ArchiveLimits& limits);
const ArchiveLimits& LibarchiveLimits();

// Lists the archive; false (with the reason) only when nothing of it could
// be read as an archive of its kind.
bool ListLibarchiveMembers(const std::string& archivePath, LibarchiveListing& listing, std::string& error,
                           size_t maxMembers = 1000000);

// While one lives, extractions on its thread keep the archive open and read
// on from the last member (the lister holds one while the members it added
// are described); otherwise every extraction closes the archive again, so
// that no medium stays busy.
class LibarchiveKeepOpen {
 public:
  LibarchiveKeepOpen();
  ~LibarchiveKeepOpen();
  LibarchiveKeepOpen(const LibarchiveKeepOpen&) = delete;
  LibarchiveKeepOpen& operator=(const LibarchiveKeepOpen&) = delete;
};

// Writes the member stored under memberPath (compared after SplitMemberPath,
// exactly first, else ignoring case) directly in dir under its file name;
// outPath receives the written path. Links, devices and encrypted members
// are refused; nothing larger than the limits is written.
bool ExtractLibarchiveMember(const std::string& archivePath, const std::string& memberPath, const std::string& dir,
                             std::string& outPath, std::string& error, const ArchiveLimits& limits = LibarchiveLimits());
