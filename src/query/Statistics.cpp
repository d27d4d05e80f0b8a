#include "query/Statistics.h"

#include <algorithm>
#include <queue>
#include <string_view>
#include <unordered_map>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "query/ArchiveMembers.h"
#include "scan/MediaPaths.h"
#include "text/Ascii.h"

const char* const kFileKindKeys[KIND_COUNT] = {"$$Pictures",    "$$Audio",     "$$Video", "$$Archives",
                                               "$$Executables", "$$Documents", "$$Other"};
const char* const kFileKindWords[KIND_COUNT] = {"pictures",    "audio",     "video", "archives",
                                                "executables", "documents", "other"};

namespace {

const std::unordered_map<std::string_view, FileKind>& KindsByExtension() {
  static const auto* table = [] {
    auto* t = new std::unordered_map<std::string_view, FileKind>;
    auto add = [&](FileKind kind, std::initializer_list<std::string_view> extensions) {
      for (const auto e : extensions) t->emplace(e, kind);
    };
    add(KIND_PICTURE, {"bmp", "dib", "rle", "jpg", "jpeg", "jpe", "jif", "jfif", "png", "tif", "tiff", "gif",
                       "pct", "pict", "tga", "wmf", "emf", "pcx", "pgm", "pbm", "ppm", "pnm", "eps", "webp",
                       "heic", "heif", "avif", "svg", "ico", "psd", "xcf", "cr2", "nef", "dng", "raw"});
    add(KIND_AUDIO, {"mp3", "mp2", "mpa", "wav", "ogg", "oga", "opus", "flac", "m4a", "aac", "wma", "aif",
                     "aiff", "mid", "midi", "ape", "wv", "mka", "au", "voc", "mod", "xm", "s3m", "it"});
    add(KIND_VIDEO, {"avi", "mpg", "mpeg", "mp4", "m4v", "mkv", "mov", "qt", "wmv", "flv", "webm", "vob", "ts",
                     "m2ts", "mts", "3gp", "ogv", "asf", "divx", "rm", "rmvb"});
    add(KIND_ARCHIVE, {"zip", "cab", "rar", "7z", "tar", "gz", "tgz", "bz2", "tbz", "xz", "txz", "zst", "lzh",
                       "lha", "arj", "iso", "z", "jar", "cpio", "deb", "rpm", "dmg"});
    add(KIND_EXECUTABLE, {"exe", "com", "dll", "sys", "bat", "cmd", "msi", "scr", "ocx", "drv", "vxd", "cpl",
                          "so", "bin", "run", "sh", "appimage", "elf", "app", "pif"});
    add(KIND_DOCUMENT, {"txt", "doc", "docx", "odt", "rtf", "pdf", "xls", "xlsx", "ods", "ppt", "pptx", "odp",
                        "htm", "html", "xml", "md", "tex", "csv", "hlp", "chm", "ps", "epub", "djvu", "wri",
                        "diz", "nfo", "1st", "me", "wpd", "pages", "key", "numbers"});
    return t;
  }();
  return *table;
}

}  // namespace

FileKind KindOfFile(const CFileItem& item) {
  // What the scan found weighs more than a name: a listed archive, a
  // picture with its thumbnail.
  if (item.type == ITEM_ARCHIVE_ENTRY) return KIND_ARCHIVE;
  if (item.thumbnail) return KIND_PICTURE;
  const std::string& name = item.name;
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 >= name.size() || name.size() - dot > 10) return KIND_OTHER;
  char lower[10];
  size_t n = 0;
  for (size_t k = dot + 1; k < name.size(); ++k) {
    const char c = name[k];
    lower[n++] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  const auto& table = KindsByExtension();
  const auto it = table.find(std::string_view(lower, n));
  return it == table.end() ? KIND_OTHER : it->second;
}

CatalogStatistics ComputeStatistics(const CFileItemList& list, long from, size_t largestCount) {
  CatalogStatistics s;
  const size_t n = list.size();
  const bool whole = from < 0 || static_cast<size_t>(from) >= n;
  const size_t first = whole ? 0 : static_cast<size_t>(from) + 1;
  const size_t end = whole ? n : list.SubtreeEnd(static_cast<size_t>(from));

  struct Open {
    size_t index;
    int16_t level;
    uint64_t bytes = 0, files = 0;
  };
  std::vector<Open> open;  // the containers whose subtree is still being read
  auto later = [](const FolderSize& a, const FolderSize& b) { return a.bytes > b.bytes; };
  // The largest so far, smallest on top so that it is the one to give way.
  std::priority_queue<FolderSize, std::vector<FolderSize>, decltype(later)> largest(later);
  long medium = -1;  // position in s.media of the medium being read
  auto close = [&] {
    const Open done = open.back();
    open.pop_back();
    if (!open.empty()) {
      open.back().bytes += done.bytes;
      open.back().files += done.files;
    }
    if (list[done.index]->type == ITEM_MEDIA) return;  // media have their own list
    if (largestCount == 0) return;
    if (largest.size() < largestCount) {
      largest.push({done.index, done.bytes, done.files});
    } else if (largest.top().bytes < done.bytes) {
      largest.pop();
      largest.push({done.index, done.bytes, done.files});
    }
  };
  if (!whole && list[static_cast<size_t>(from)]->type != ITEM_MEDIA) {
    // A start inside a medium: that medium is the one listed.
    const long owner = OwningMedia(list, static_cast<size_t>(from));
    if (owner >= 0 && list[static_cast<size_t>(owner)]->level < list[static_cast<size_t>(from)]->level) {
      s.media.push_back({static_cast<size_t>(owner), {}});
      medium = 0;
    }
  }
  CArchiveWalk archives(list, first);
  for (size_t i = first; i < end; ++i) {
    const CFileItem& item = *list[i];
    while (!open.empty() && open.back().level >= item.level) close();
    // Past the end of a medium's subtree, files belong to no medium.
    if (medium >= 0 && item.level <= list[s.media[static_cast<size_t>(medium)].index]->level) medium = -1;
    const bool member = archives.IsMember(item);
    if (member) {
      // Inside an archive: its bytes are the archive's.
      if (item.type == ITEM_FILE) ++s.archiveMembers;
      continue;
    }
    switch (item.type) {
      case ITEM_FILE:
      case ITEM_ARCHIVE_ENTRY: {
        s.files.Add(item.size);
        s.byKind[KindOfFile(item)].Add(item.size);
        if (!open.empty()) {
          open.back().bytes += item.size;
          ++open.back().files;
        }
        if (medium >= 0) s.media[static_cast<size_t>(medium)].files.Add(item.size);
        break;
      }
      case ITEM_MEDIA:
        ++s.directories;
        medium = static_cast<long>(s.media.size());
        s.media.push_back({i, {}});
        open.push_back({i, item.level});
        break;
      case ITEM_FOLDER:
      case ITEM_DIRECTORY:
        ++s.directories;
        open.push_back({i, item.level});
        break;
      default:
        break;
    }
  }
  while (!open.empty()) close();
  s.largestFolders.reserve(largest.size());
  while (!largest.empty()) {
    s.largestFolders.push_back(largest.top());
    largest.pop();
  }
  // Largest first; equal sizes in catalog order.
  std::sort(s.largestFolders.begin(), s.largestFolders.end(), [](const FolderSize& a, const FolderSize& b) {
    return a.bytes != b.bytes ? a.bytes > b.bytes : a.index < b.index;
  });
  return s;
}
