#include "ui/Icons.h"

#include <QMimeDatabase>
#include <QMimeType>

// The drawings are compiled into the windows' static library, whose
// resources are registered only when asked for.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace {

void EnsureIcons() {
  static const bool once = (InitIconResources(), true);
  (void)once;
}

QIcon Themed(const char* themeName, const char* fallback) {
  EnsureIcons();
  return QIcon::fromTheme(QLatin1String(themeName), QIcon(QStringLiteral(":/icons/") + QLatin1String(fallback)));
}

}  // namespace

QIcon ApplicationIcon() {
  EnsureIcons();
  return QIcon(QStringLiteral(":/icons/catalog.svg"));
}

QIcon ResourceIcon(int iconId) {
  switch (iconId) {
    case 1: return ApplicationIcon();
    case 203: return Themed("folder-bookmark", "user-folder.svg");
    case 200: return Themed("folder-remote", "drive-directory.svg");
    case 201: return Themed("drive-removable-media", "drive-removable.svg");
    case 202: return Themed("drive-optical", "drive-optical.svg");
    case 207: return Themed("media-optical-dvd", "media-dvd.svg");
    case 204: return Themed("folder", "folder.svg");
    case 205: return Themed("folder-open", "folder-open.svg");
    case 137: return Themed("package-x-generic", "archive.svg");
    default: return Themed("text-x-generic", "file.svg");
  }
}

CFileTypeCache::CFileTypeCache() {
  entries_.insert(QStringLiteral("*"), Entry{ResourceIcon(0), {}});
  QMimeDatabase db;
  entries_.insert(QStringLiteral("."),
                  Entry{ResourceIcon(204), db.mimeTypeForName(QStringLiteral("inode/directory")).comment().toStdString()});
}

const CFileTypeCache::Entry& CFileTypeCache::Get(const std::string& key) {
  const QString k = QString::fromStdString(key).toLower();
  auto it = entries_.constFind(k);
  if (it != entries_.constEnd()) return *it;
  static const QMimeDatabase db;
  // By name alone: the file is never opened, as for a file of normal attributes.
  const QString probe = k.startsWith(QLatin1Char('.')) ? QStringLiteral("x") + k : k;
  const QMimeType mime = db.mimeTypeForFile(probe, QMimeDatabase::MatchExtension);
  Entry entry;
  QIcon icon = QIcon::fromTheme(mime.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
  entry.icon = icon.isNull() ? entries_.value(QStringLiteral("*")).icon : icon;
  entry.typeName = mime.comment().toStdString();
  return *entries_.insert(k, entry);
}
