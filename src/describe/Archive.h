// Archive contents: ZIP and CAB members listed as catalog items below the
// archive, single members extracted for the describers, whole ZIP archives
// extracted for installation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "describe/ArchivePaths.h"
#include "describe/Describe.h"

class CFileItemList;

// What the lister needs from the scan that runs it: the item list, adding
// items (the scan counts them, logs and lets the user stop), and, as for any
// describer, the physical paths and the log. Declared here, on the lister's
// side; the scanner (scan/Scanner.h: CScanContext) implements it.
class IArchiveScan : public IDescribeHost {
 public:
  virtual CFileItemList& List() = 0;
  // As CScanContext::AddFileItem and AddDirectoryItem: the new item's index,
  // -1 when the user asked to stop.
  virtual long AddFileItem(const std::string& name, uint32_t size, uint32_t time, uint32_t win32Attributes,
                           int level, long insertPos, bool insideArchive, bool uncompress) = 0;
  virtual long AddDirectoryItem(const std::string& name, uint32_t time, uint32_t win32Attributes, int level,
                                long insertPos, bool insideArchive) = 0;
};

// One member as a lister reports it, before it becomes items.
struct ArchiveMember {
  std::string storedName;     // as stored, UTF-8
  bool isDirectory = false;   // adds directories only
  uint32_t size = 0;          // uncompressed, clamped to 32 bits
  uint32_t time = 0;          // seconds since 1970
  uint32_t win32Attributes = 0;
};

// Lists the members of a cabinet; false with the reader's failure text.
bool ListCabinetMembers(const std::string& cabinetPath, std::vector<ArchiveMember>& members, std::string& error);
// Lists the entries of a ZIP archive through ZipAccess(); false with a reason.
bool ListZipMembers(const std::string& zipPath, std::vector<ArchiveMember>& members, std::string& error);

// ListArchive: lists the archive at archiveIndex (an item already typed
// Compressed file, whose file is at archivePath) as items inserted right
// after it, through scan.AddDirectoryItem and scan.AddFileItem (inside an
// archive, never uncompressed). Directory items are shared by name, ignoring
// case, under one parent; a member whose directory already exists goes at
// the end of that directory's subtree. ".CAB" is read as a cabinet, ".ZIP"
// through the ZIP reader. Returns 1 on success (a user stop included), 0 on
// failure, with the reason in error.
int ListArchive(const std::string& archivePath, IArchiveScan& scan, size_t archiveIndex, std::string* error = nullptr);

// Extracts one member into dir (the temporary work directory when empty):
// ZIP members land directly in dir under their file name; CAB members below
// dir under their stored path. The member is the one stored under memberPath
// ("/" separators, compared after cleaning); with an empty memberPath a CAB
// member is chosen by memberName alone. Nothing is ever written outside dir.
// Returns 1 with the written path in extractedPath, 0 on failure.
int ExtractArchiveMember(const std::string& archivePath, const std::string& memberName, const std::string& memberPath,
                         std::string& extractedPath, const std::string& dir = std::string(),
                         std::string* error = nullptr);

// Extracts every member of a ZIP archive below dir (the temporary work
// directory when empty), directories recreated; outDir receives the directory.
int ExtractWholeZip(const std::string& archivePath, std::string& outDir, const std::string& dir = std::string(),
                    std::string* error = nullptr);

// Index of the archive (Compressed file item) holding member item index; -1 when none.
long ArchiveOfMember(const CFileItemList& list, size_t index);
// The path of member item index inside its archive, "/" separators (the
// names of the items between the archive and the member, then its own).
std::string MemberPathInArchive(const CFileItemList& list, size_t index);

// The scan hooks: the lister and the member extractor for the describers
// (scan/Scanner.h: InstallArchiveHooks plugs them into a scan).
bool ListArchiveHook(IArchiveScan& scan, size_t archiveIndex, std::string& reason);
std::optional<std::string> ExtractMemberHook(IDescribeHost& host, const CFileItemList& list, size_t index);
