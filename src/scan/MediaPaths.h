// Paths of catalog items on disk and inside the catalog, the change-media
// prompt and the properties listing.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "catalog/ParentIndex.h"

class CFileItemList;
class CFileItem;
class IUiPort;

// Path on disk of item i: a media gives its rootPath; other items are joined
// with "/" below the root of their media (archive members stop at the
// archive). withName appends the item's own name (not for members of archives).
std::string PhysicalPath(const CFileItemList& list, size_t i, bool withName = true);
// The file to open for item i: its physical path, resolved on disk where the
// catalogued name differs in case from the file's. Every opener of a
// catalogued file goes through this.
std::string DiskPath(const CFileItemList& list, size_t i);
// Path inside the catalog: "\\" + "Folder\Media:\Dir\name".
std::string LogicalPath(const CFileItemList& list, size_t i, bool withName = true);
// The same paths for many items of one list (search results, long
// listings): each in steps proportional to the item's depth rather than to
// its distance from the media. Valid while the list keeps its shape.
class CItemPaths {
 public:
  explicit CItemPaths(const CFileItemList& list);
  std::string Physical(size_t i, bool withName = true) const;
  std::string Logical(size_t i, bool withName = true) const;

 private:
  const CFileItemList& list_;
  CParentIndex all_;
  CParentIndex onDisk_;
};
// Index of the media owning item i (the nearest media at or before i); -1 when none.
long OwningMedia(const CFileItemList& list, size_t i);
// Asks for the medium of item i until its volume test passes ("Put the ...
// in its drive"); false when the user cancels or i has no media.
bool ChangeMediaPrompt(const CFileItemList& list, size_t i, IUiPort& ui);

// The properties listing of item index (or of the whole catalog when index
// is -1: catalogPath and catalogTime describe the root node). One string per
// list line; an empty string is a blank line; "\t" separates the columns.
std::vector<std::string> PropertiesListing(const CFileItemList& list, long index,
                                           const std::string& catalogPath = std::string(),
                                           uint32_t catalogTime = 0);
// "dd/mm/yyyy  hh:mm:ss" in local time, as the properties listing shows dates.
std::string PropertiesDate(uint32_t time);
