// Shared body of the ZIP and CAB listing targets: the input is written to a
// file of the archive's extension, listed into catalog items below an
// archive item (the tree must stay well formed), then every member is
// extracted into a scratch directory that nothing may leave.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "catalog/FileItemList.h"
#include "describe/Archive.h"
#include "describe/ArchiveLibarchive.h"
#include "describe/ArchiveZip.h"
#include "scan/Scanner.h"

namespace archivefuzz {

inline void Check(bool ok) {
  if (!ok) std::abort();
}

inline const std::string& Scratch() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-fuzz-XXXXXX").string();
    Check(mkdtemp(pattern.data()) != nullptr);
    return pattern;
  }();
  return dir;
}

inline void Run(const uint8_t* data, size_t size, const char* extension) {
  static bool init = [] {
    // Small limits keep each run short; the work directory is checked below.
    ZipAccess().SetReader(MakeLibZipReader(ArchiveLimits{1 << 20, 4 << 20}));
    SetLibarchiveLimits(ArchiveLimits{1 << 20, 4 << 20});
    return true;
  }();
  (void)init;
  const std::string root = Scratch();
  const std::string archive = root + "/input." + extension;
  const std::string work = root + "/work";
  std::filesystem::remove_all(work);
  ::mkdir(work.c_str(), 0700);
  std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  CFileItemList list;
  auto media = std::make_unique<CFileItemMediaDir>();
  media->level = 0;
  media->rootPath = root;
  list.items.push_back(std::move(media));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_ARCHIVE_ENTRY, std::string("input.") + extension, 0, 0, 1, 0));
  CScanProgress progress;
  CScanContext scan(list, progress);
  if (ListArchive(archive, scan, 1)) {
    for (size_t i = 2; i < list.size(); ++i) {
      Check(list[i]->level >= 2 && list[i]->level <= list[i - 1]->level + 1);
      Check(list[i]->isArchive == 1 && !list[i]->name.empty());
      Check(list[i]->name.find('/') == std::string::npos && list[i]->name != "..");
      if (list[i]->type != ITEM_FILE) continue;
      std::string extracted;
      if (ExtractArchiveMember(archive, list[i]->name, MemberPathInArchive(list, i), extracted, work))
        Check(extracted.rfind(work + "/", 0) == 0);
    }
  }
  std::string outDir;
  if (std::string(extension) == "zip") ExtractWholeZip(archive, outDir, work);
  // Nothing but the input and the work directory may exist in the scratch directory.
  for (const auto& entry : std::filesystem::directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    Check(name == "work" || name == std::string("input.") + extension);
  }
  std::filesystem::remove(archive);  // the next input may be of another kind
}

}  // namespace archivefuzz
