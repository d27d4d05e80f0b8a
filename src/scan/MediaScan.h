// The New media command without its dialogs: target folder, volume
// reading, scan, insertion, application pass.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "catalog/FileItem.h"
#include "scan/MediaTypes.h"
#include "scan/Scanner.h"

class CFileItemList;

struct NewMediaRequest {
  std::string kindKey = "Dir";  // a registered kind: "CD", "Dir" or "Rem"
  std::string path;             // the source path
  std::string name;             // empty: taken from the volume (label or last path component)
  long selected = -1;           // the selected catalog item; -1 for none
  bool uncompress = true;       // false: "Do not uncompress files"
  bool searchApplications = true;
};

enum class NewMediaStatus {
  Added,
  Stopped,            // the user stopped the scan: the catalog is unchanged
  ApplicationsStopped,  // the media was added, the application pass was stopped
  NoTarget,           // a selection with no folder at or before it
  UnknownKind,
  EmptyPath,          // IDS_PATH_EMPTY
  EmptyName,          // IDS_NAME_EMPTY
};

struct NewMediaResult {
  NewMediaStatus status = NewMediaStatus::Added;
  long mediaIndex = -1;  // where the media went in the catalog
};

// The application pass (SearchApplications) over the media at mediaIndex;
// returns true when the user stopped it.
using ApplicationPassHook = std::function<bool(CFileItemList& catalog, size_t mediaIndex, CScanProgress& progress)>;

// Where a new media goes: at the end at level 0 when nothing is selected,
// otherwise right after the selected folder, or the nearest folder before
// the selection, one level below it. false when there is no such folder.
bool FindNewMediaTarget(const CFileItemList& catalog, long selected, size_t& insertAt, int& level);

// A new media item of the kind of prototype: name, volume fields, root
// path, level and creation time set.
std::unique_ptr<CFileItemMedia> MakeNewMediaItem(const CFileItemMedia& prototype, const NewMediaVolume& volume,
                                                 const std::string& path, int level, uint32_t time);

// Adds a media: reads the volume at the path (the name from it unless one
// is given), scans it into a temporary list with options (its uncompress
// flag is taken from the request) and inserts the result; runs the
// application pass when asked and given. A stopped scan changes nothing.
NewMediaResult AddNewMedia(CFileItemList& catalog, const NewMediaRequest& request, CScanProgress& progress,
                           ScanOptions options, const ApplicationPassHook& applicationPass = {});
