#include "scan/MediaPaths.h"

#include <ctime>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "platform/Platform.h"
#include "ports/UiPort.h"

namespace {

bool EndsWithSeparator(const std::string& s) { return !s.empty() && (s.back() == '/' || s.back() == '\\'); }

const CFileItemMedia* AsMedia(const CFileItem* item) {
  return item && item->type == ITEM_MEDIA ? dynamic_cast<const CFileItemMedia*>(item) : nullptr;
}

}  // namespace

namespace {

// Directories listed from inside an archive are not on disk: a physical path
// stops at the archive.
bool IsOnDisk(const CFileItem& item) { return item.type == ITEM_ARCHIVE_ENTRY || item.isArchive == 0; }

// The nearest container before item i with a level below level (on disk
// only, for physical paths), found by walking back over the list.
long WalkBack(const CFileItemList& list, size_t i, int level, bool onDisk) {
  for (size_t j = i; j-- > 0;) {
    const CFileItem* p = list[j];
    if (p->type == ITEM_FILE || p->level >= level) continue;
    if (onDisk && !IsOnDisk(*p)) continue;
    return static_cast<long>(j);
  }
  return -1;
}

// The ancestors a path names, nearest first; before(j, level) finds the
// next one before j. The physical walk ends at the media.
template <class Before>
std::vector<size_t> PathAncestors(const CFileItemList& list, size_t i, bool physical, Before&& before) {
  std::vector<size_t> up;
  int level = list[i]->level;
  for (long j = before(i, level); j >= 0; j = before(static_cast<size_t>(j), level)) {
    const CFileItem* p = list[static_cast<size_t>(j)];
    up.push_back(static_cast<size_t>(j));
    level = p->level;
    if (physical && AsMedia(p)) break;
  }
  return up;
}

template <class Before>
std::string BuildPhysicalPath(const CFileItemList& list, size_t i, bool withName, Before&& before) {
  if (i >= list.size()) return {};
  const CFileItem* item = list[i];
  if (const CFileItemMedia* media = AsMedia(item)) return media->rootPath;
  const std::vector<size_t> up = PathAncestors(list, i, true, before);
  std::string path;
  for (size_t k = up.size(); k-- > 0;) {
    const CFileItem* p = list[up[k]];
    if (const CFileItemMedia* media = AsMedia(p)) {
      path += media->rootPath;
      if (!EndsWithSeparator(media->rootPath)) path += '/';
    } else {
      path += p->name;
      path += '/';
    }
  }
  if (withName && IsOnDisk(*item)) {
    if (!path.empty() && !EndsWithSeparator(path)) path += '/';
    path += item->name;
  }
  return path;
}

template <class Before>
std::string BuildLogicalPath(const CFileItemList& list, size_t i, bool withName, Before&& before) {
  if (i >= list.size()) return {};
  const CFileItem* item = list[i];
  const std::vector<size_t> up = PathAncestors(list, i, false, before);
  std::string path = "\\\\";
  for (size_t k = up.size(); k-- > 0;) {
    const CFileItem* p = list[up[k]];
    path += p->name;
    // The parent itself is named bare.
    if (k != 0) path += p->type == ITEM_MEDIA ? ":\\" : "\\";
  }
  if (withName) {
    path += '\\';
    path += item->name;
  }
  return path;
}

}  // namespace

std::string PhysicalPath(const CFileItemList& list, size_t i, bool withName) {
  return BuildPhysicalPath(list, i, withName, [&](size_t j, int level) { return WalkBack(list, j, level, true); });
}

std::string DiskPath(const CFileItemList& list, size_t i) {
  return GetPlatform().ResolvePath(PhysicalPath(list, i, true));
}

std::string LogicalPath(const CFileItemList& list, size_t i, bool withName) {
  return BuildLogicalPath(list, i, withName, [&](size_t j, int level) { return WalkBack(list, j, level, false); });
}

CItemPaths::CItemPaths(const CFileItemList& list)
    : list_(list), all_(list), onDisk_(list, [](const CFileItem& item) { return IsOnDisk(item); }) {}

std::string CItemPaths::Physical(size_t i, bool withName) const {
  return BuildPhysicalPath(list_, i, withName, [&](size_t j, int level) { return onDisk_.Before(j, level); });
}

std::string CItemPaths::Logical(size_t i, bool withName) const {
  return BuildLogicalPath(list_, i, withName, [&](size_t j, int level) { return all_.Before(j, level); });
}

long OwningMedia(const CFileItemList& list, size_t i) {
  if (list.size() == 0) return -1;
  if (i >= list.size()) i = list.size() - 1;
  for (size_t j = i + 1; j-- > 0;)
    if (list[j]->type == ITEM_MEDIA) return static_cast<long>(j);
  return -1;
}

bool ChangeMediaPrompt(const CFileItemList& list, size_t i, IUiPort& ui) {
  long m = OwningMedia(list, i);
  if (m < 0) return false;
  const CFileItemMedia* media = AsMedia(list[static_cast<size_t>(m)]);
  if (!media) return false;
  std::string text =
      FormatInserts(Translate("IDS_MAINCHANGEMEDIA"), {Translate(media->GetKindName()), media->name});
  std::string caption = Translate("IDS_CHANGEMEDIA");
  std::string path = PhysicalPath(list, i, true);
  while (!media->IsSameVolume(&path)) {
    if (ui.MessageBox(text, caption, MB_ICONERROR | MB_OKCANCEL) == IDCANCEL) return false;
  }
  return true;
}

std::string PropertiesDate(uint32_t time) { return FormatItemTime(time); }

namespace {

// Sizes summed in a byte part and a kilobyte part so that totals far beyond
// 4 GB stay exact in KB.
struct SizeSum {
  uint64_t bytes = 0;
  uint64_t kb = 0;
  void Add(uint32_t size) {
    bytes += size;
    while ((bytes & ~uint64_t(0x3FF)) > 0xC0000000ull) {
      kb += 0x300000;
      bytes -= 0xC0000000ull;
    }
  }
  long long Kb() const { return static_cast<long long>(kb + bytes / 1024); }
};

}  // namespace

std::vector<std::string> PropertiesListing(const CFileItemList& list, long index, const std::string& catalogPath,
                                           uint32_t catalogTime) {
  std::vector<std::string> lines;
  CFileItem root;
  const CFileItem* x;
  size_t first;
  if (index < 0) {
    root.type = ITEM_FOLDER;
    root.name = catalogPath;
    root.time = catalogTime;
    root.level = -1;
    x = &root;
    first = 0;
  } else {
    if (static_cast<size_t>(index) >= list.size()) return lines;
    x = list[static_cast<size_t>(index)];
    first = static_cast<size_t>(index) + 1;
  }

  int maxLevel = x->level;
  long applications = 0, files = 0, directories = 0;
  SizeSum total;
  const CFileItem* oldest = nullptr;
  const CFileItem* youngest = nullptr;
  long oldestIndex = -1, youngestIndex = -1;
  for (size_t j = first; j < list.size() && list[j]->level > x->level; ++j) {
    const CFileItem* it = list[j];
    if (it->level > maxLevel) maxLevel = it->level;
    if (it->IsApplication()) ++applications;
    if (it->type == ITEM_FILE || it->type == ITEM_ARCHIVE_ENTRY) {
      ++files;
      total.Add(it->size);
    } else {
      ++directories;
    }
    if (!oldest || it->time < oldest->time) {
      oldest = it;
      oldestIndex = static_cast<long>(j);
    }
    if (!youngest || it->time > youngest->time) {
      youngest = it;
      youngestIndex = static_cast<long>(j);
    }
  }

  auto line = [&](const char* key, const std::vector<MsgArg>& args) {
    lines.push_back(FormatInserts(Translate(key), args));
  };
  const bool isMedia = x->type == ITEM_MEDIA;
  const bool isOnDisk = x->type == ITEM_DIRECTORY || x->type == ITEM_FILE || x->type == ITEM_ARCHIVE_ENTRY;

  line("IDS_PROPNAME", {x->name});
  line(isMedia ? "IDS_PROPREFRESHDATE" : "IDS_PROPCREATIONDATE", {PropertiesDate(x->time)});
  lines.emplace_back();
  if (isOnDisk && index >= 0) {
    line("IDS_PROPPHYSADDRESS", {PhysicalPath(list, static_cast<size_t>(index), false)});
    line("IDS_PROPLOGICADDRESS", {LogicalPath(list, static_cast<size_t>(index), false)});
    lines.emplace_back();
  }
  if (const CFileItemMedia* media = AsMedia(x)) {
    line("IDS_PROPLABEL", {media->volumeLabel});
    line("IDS_PROPFILESYSTEM", {media->fileSystem});
    line("IDS_PROPPHYSADDRESS", {media->rootPath});
    line("IDS_PROPLOGICADDRESS", {LogicalPath(list, static_cast<size_t>(index), false)});
    line("IDS_PROPSERIAL", {static_cast<long long>(media->serialNumber)});
    lines.emplace_back();
  }
  if (x->type == ITEM_FILE) {
    line("IDS_PROPFILESIZE", {static_cast<long long>(x->size / 1024)});
  } else {
    line("IDS_PROPAPPLIS", {applications});
    line("IDS_PROPLEVEL", {static_cast<long>(maxLevel - x->level)});
    line("IDS_PROPFILES", {files});
    line("IDS_PROPDIRS", {directories});
    lines.emplace_back();
    if (x->type == ITEM_ARCHIVE_ENTRY) {
      line("IDS_PROPUNCOMPSIZE", {total.Kb()});
      line("IDS_PROPCOMPSIZE", {static_cast<long long>(x->size / 1024)});
    } else {
      line("IDS_PROPSIZE", {total.Kb()});
    }
    lines.emplace_back();
    if (oldest) {
      line("IDS_PROPOLDDATE", {PropertiesDate(oldest->time)});
      line("IDS_PROPOLDNAME", {PhysicalPath(list, static_cast<size_t>(oldestIndex), true)});
      lines.emplace_back();
    }
    if (youngest) {
      line("IDS_PROPYOUNGDATE", {PropertiesDate(youngest->time)});
      line("IDS_PROPYOUNGNAME", {PhysicalPath(list, static_cast<size_t>(youngestIndex), true)});
    }
  }
  if (isOnDisk) line("IDS_PROPATTRIBS", {AttributeText(x->attributes)});
  lines.emplace_back();
  line("IDS_PROPCOMPRESS", {Translate(x->isArchive ? "IDS_YES" : "IDS_NO")});
  return lines;
}
