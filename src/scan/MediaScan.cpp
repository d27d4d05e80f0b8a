#include "scan/MediaScan.h"

#include <ctime>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "text/Codepage.h"
#include "scan/MediaTypes.h"

bool FindNewMediaTarget(const CFileItemList& catalog, long selected, size_t& insertAt, int& level) {
  if (selected < 0) {
    insertAt = catalog.size();
    level = 0;
    return true;
  }
  if (static_cast<size_t>(selected) >= catalog.size()) return false;
  for (size_t i = static_cast<size_t>(selected) + 1; i-- > 0;) {
    if (catalog[i]->type == ITEM_FOLDER) {
      insertAt = i + 1;
      level = catalog[i]->level + 1;
      return true;
    }
  }
  return false;
}

std::unique_ptr<CFileItemMedia> MakeNewMediaItem(const CFileItemMedia& prototype, const NewMediaVolume& volume,
                                                 const std::string& path, int level, uint32_t time) {
  std::unique_ptr<CFileItemMedia> media = prototype.CreateNew();
  media->name = volume.name;
  media->time = time;
  media->rootPath = NameFromBytes(path);
  media->volumeLabel = volume.label;
  media->fileSystem = volume.fileSystem;
  media->serialNumber = volume.serialNumber;
  media->level = static_cast<int16_t>(level);
  return media;
}

NewMediaResult AddNewMedia(CFileItemList& catalog, const NewMediaRequest& request, CScanProgress& progress,
                           ScanOptions options, const ApplicationPassHook& applicationPass) {
  NewMediaResult result;
  size_t insertAt = 0;
  int level = 0;
  if (!FindNewMediaTarget(catalog, request.selected, insertAt, level)) {
    result.status = NewMediaStatus::NoTarget;
    return result;
  }
  CFileItemMedia* prototype = MediaKinds().Lookup(request.kindKey);
  if (!prototype) {
    result.status = NewMediaStatus::UnknownKind;
    return result;
  }
  if (request.path.empty()) {
    result.status = NewMediaStatus::EmptyPath;
    return result;
  }
  NewMediaVolume volume;
  volume.name = request.name;
  ReadNewMediaVolume(request.path, !request.name.empty(), volume);
  if (volume.name.empty()) {
    result.status = NewMediaStatus::EmptyName;
    return result;
  }

  CFileItemList temp;
  temp.items.push_back(
      MakeNewMediaItem(*prototype, volume, request.path, level, static_cast<uint32_t>(std::time(nullptr))));
  options.uncompress = request.uncompress;
  CScanContext scan(temp, progress, std::move(options));
  if (scan.ScanMedium(static_cast<CFileItemMedia*>(temp[0])->rootPath, level + 1) == 1) {
    result.status = NewMediaStatus::Stopped;
    return result;  // the temporary list and its items go away here
  }
  catalog.Insert(insertAt, std::move(temp.items));
  temp.items.clear();
  result.mediaIndex = static_cast<long>(insertAt);
  if (request.searchApplications && applicationPass &&
      applicationPass(catalog, insertAt, progress)) {
    result.status = NewMediaStatus::ApplicationsStopped;
  }
  return result;
}
