// Images of the tree's nodes, from the desktop's icon theme by freedesktop
// names with our own drawings as fallback, and the file-type icon cache of
// the file list (icons and type names asked once per extension).
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>
#include <string>

class CFileItem;

// The icon for an icon number of the item model (1 root, 203 user folder,
// 200/201/202/207 media kinds, 204/205 directory, 137 archive entry).
QIcon ResourceIcon(int iconId);
// The program's own icon.
QIcon ApplicationIcon();

class CFileTypeCache {
 public:
  struct Entry {
    QIcon icon;
    std::string typeName;
  };
  CFileTypeCache();
  // The entry of a lower-cased key ("*", ".", ".txt", "readme"); made on
  // first use from the MIME database by file name alone.
  const Entry& Get(const std::string& key);
  size_t Size() const { return entries_.size(); }

 private:
  QHash<QString, Entry> entries_;
};
