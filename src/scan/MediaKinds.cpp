// Platform behaviour of the media kinds: where a medium is read from and
// whether the volume now present is the one that was catalogued.
#include "catalog/FileItem.h"
#include "i18n/Translator.h"
#include "platform/Platform.h"
#include "ports/UiPort.h"

int CFileItemMedia::ChooseSource(IUiPort*) { return 1; }

int CFileItemMedia::IsSameVolume(const std::string*) const { return 0; }

int CFileItemMediaCD::ChooseSource(IUiPort*) { return 1; }

// Lenient: only what was recorded is compared (an empty label or file
// system, or a zero serial, accepts anything).
int CFileItemMediaCD::IsSameVolume(const std::string*) const {
  auto volume = GetPlatform().GetVolumeInformation(rootPath);
  if (!volume) return 0;
  if (!volumeLabel.empty() && volumeLabel != volume->label) return 0;
  if (!fileSystem.empty() && fileSystem != volume->fileSystem) return 0;
  if (serialNumber != 0 && serialNumber != volume->serialNumber) return 0;
  return 1;
}

int CFileItemMediaDir::ChooseSource(IUiPort* ui) {
  if (!ui) return 0;
  auto folder = ui->ChooseFolder(Translate("IDS_SELECTDIR"));
  if (!folder || folder->empty()) return 0;
  rootPath = *folder;
  return 1;
}

// The volume does not matter; the directory must be there. A medium rooted
// at a mount point (the counterpart of a drive root) is present when that
// volume answers.
int CFileItemMediaDir::IsSameVolume(const std::string* path) const {
  IPlatform& platform = GetPlatform();
  if (!rootPath.empty() && platform.IsMountPoint(rootPath))
    return platform.GetVolumeInformation(rootPath).has_value() ? 1 : 0;
  const std::string& target = path ? *path : rootPath;
  if (target.empty()) return 0;
  return platform.PathExists(target) || platform.PathExists(platform.ResolvePath(target)) ? 1 : 0;
}

int CFileItemMediaRem::ChooseSource(IUiPort*) { return 1; }

// Strict: label, file system and serial must all match, empty or zero included.
int CFileItemMediaRem::IsSameVolume(const std::string*) const {
  auto volume = GetPlatform().GetVolumeInformation(rootPath);
  if (!volume) return 0;
  return volume->label == volumeLabel && volume->fileSystem == fileSystem &&
                 volume->serialNumber == serialNumber
             ? 1
             : 0;
}
