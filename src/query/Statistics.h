// Where the space goes below an item: sizes and counts by kind of file, by
// medium, and the largest folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFileItem;
class CFileItemList;

enum FileKind : int {
  KIND_PICTURE = 0,
  KIND_AUDIO,
  KIND_VIDEO,
  KIND_ARCHIVE,
  KIND_EXECUTABLE,
  KIND_DOCUMENT,
  KIND_OTHER,
  KIND_COUNT
};
// Message keys of the kinds ("$$Pictures", ...) and their words in JSON ("pictures", ...).
extern const char* const kFileKindKeys[KIND_COUNT];
extern const char* const kFileKindWords[KIND_COUNT];

// A file's kind: what the describers found (a thumbnail, archive members)
// first, then its extension.
FileKind KindOfFile(const CFileItem& item);

struct SizeCount {
  uint64_t bytes = 0;
  uint64_t count = 0;
  void Add(uint32_t size) {
    bytes += size;
    ++count;
  }
};

struct MediumStatistics {
  size_t index = 0;  // the media item
  SizeCount files;
};

struct FolderSize {
  size_t index = 0;  // a media, folder, directory or application
  uint64_t bytes = 0;  // every file below it
  uint64_t files = 0;
};

// Files are counted by their size on the medium; archive members are
// counted apart (their bytes are inside the archive file).
struct CatalogStatistics {
  SizeCount files;
  SizeCount byKind[KIND_COUNT];
  uint64_t directories = 0;  // media, folders, directories and applications below the start
  uint64_t archiveMembers = 0;
  std::vector<MediumStatistics> media;     // in catalog order
  std::vector<FolderSize> largestFolders;  // largest first, at most largestCount
};

// Below item from (the whole catalog when -1), in one pass over the items.
CatalogStatistics ComputeStatistics(const CFileItemList& list, long from, size_t largestCount = 20);
