// The media type list (the rows offered when adding a medium) and the volume
// reading of the New media dialog. A plain model: its "Medias" section of the
// settings file is read and written by app/Settings.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CFileItemMedia;
class IUiPort;

struct MediaTypeEntry {
  std::string path;  // drive root or directory to scan; empty for the generic directory row
  std::string name;  // text shown for the row
  CFileItemMedia* kind = nullptr;  // the kind's prototype (not owned)
  int iconId = -1;   // the kind's GetIconId()
};
using MediaTypeList = std::vector<MediaTypeEntry>;

// The process-wide list, loaded at start-up and written at exit.
MediaTypeList& MediaTypes();

// A row of a kind, with the kind's icon.
MediaTypeEntry MakeMediaType(const std::string& path, const std::string& name, CFileItemMedia* kind);
// Rebuilds list from the machine's drives: the Directory row, then one
// "Floppy" row per removable drive and one "CDRom" row per optical drive.
void BuildDefaultMediaTypes(MediaTypeList& list);
// "path\tname\tkind display name" as the media lists show a row.
std::string MediaTypeRowText(const MediaTypeEntry& entry);
// The row the New media dialog selects first: the last one whose kind is a
// CD (or derived from it), else 0; -1 for an empty list.
int InitialMediaTypeRow(const MediaTypeList& list);

// What the New media dialog reads from a source path.
struct NewMediaVolume {
  std::string name;  // media name (kept when keepName)
  std::string label;
  std::string fileSystem;
  uint32_t serialNumber = 0;
};
// A path that is not a mount point is a directory: unless keepName its last
// component becomes the name, and label, file system and serial are
// cleared. A mount point has its volume read: unless keepName the label
// becomes the name, prettified when the file system is not both case
// sensitive and case preserving; on failure the volume fields are cleared
// and the name is left alone.
void ReadNewMediaVolume(const std::string& path, bool keepName, NewMediaVolume& volume);
// "MYDISK" -> "Mydisk": lower case but for the first character.
std::string PrettifyLabel(const std::string& label);

// The "$$Media list" dialog's "$$Delete": asks IDS_DELMEDIATYPE (path, name,
// kind display name); any answer but Cancel removes the row. True when removed.
bool DeleteMediaTypeRow(IUiPort& ui, MediaTypeList& list, size_t index);
// The kind combo of "$$New media type": the registered kinds' keys in
// registry order; the row of a kind key in it (0 when not registered).
std::vector<std::string> RegisteredKindKeys();
int KindKeyRow(const std::string& kindKey);
