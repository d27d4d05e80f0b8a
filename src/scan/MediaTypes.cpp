#include "scan/MediaTypes.h"

#include "catalog/FileItem.h"
#include "i18n/Translator.h"
#include "platform/Platform.h"
#include "ports/UiPort.h"
#include "text/Codepage.h"

namespace {

// The prototype of a kind, also before start-up has filled the registry.
CFileItemMedia* Kind(const char* key) {
  if (CFileItemMedia* p = MediaKinds().Lookup(key)) return p;
  std::string k = key;
  if (k == "CD") return CFileItemMediaCD().GetPrototype();
  if (k == "Rem") return CFileItemMediaRem().GetPrototype();
  return CFileItemMediaDir().GetPrototype();
}

}  // namespace

MediaTypeList& MediaTypes() {
  static MediaTypeList list;
  return list;
}

MediaTypeEntry MakeMediaType(const std::string& path, const std::string& name, CFileItemMedia* kind) {
  return MediaTypeEntry{path, name, kind, kind ? kind->GetIconId() : -1};
}

void BuildDefaultMediaTypes(MediaTypeList& list) {
  list.clear();
  list.push_back(MakeMediaType("", Translate("IDS_DIRECTORY"), Kind("Dir")));
  for (const DriveInfo& drive : GetPlatform().ListDrives()) {
    if (drive.type == DriveType::Removable)
      list.push_back(MakeMediaType(drive.root, Translate("IDS_FLOPPY"), Kind("Rem")));
    else if (drive.type == DriveType::CdRom)
      list.push_back(MakeMediaType(drive.root, "CDRom", Kind("CD")));
  }
}

std::string MediaTypeRowText(const MediaTypeEntry& entry) {
  std::string kindName = entry.kind ? Translate(entry.kind->GetKindName()) : std::string();
  return entry.path + "\t" + entry.name + "\t" + kindName;
}

int InitialMediaTypeRow(const MediaTypeList& list) {
  if (list.empty()) return -1;
  int row = 0;
  for (size_t i = 0; i < list.size(); ++i)
    if (dynamic_cast<CFileItemMediaCD*>(list[i].kind)) row = static_cast<int>(i);
  return row;
}

std::string PrettifyLabel(const std::string& label) {
  if (label.empty()) return label;
  // Length of the first UTF-8 character, which keeps its case.
  size_t first = 1;
  unsigned char c = static_cast<unsigned char>(label[0]);
  if (c >= 0xC0) {
    while (first < label.size() && (static_cast<unsigned char>(label[first]) & 0xC0) == 0x80) ++first;
  }
  return label.substr(0, first) + Utf8Lower(label.substr(first));
}

void ReadNewMediaVolume(const std::string& path, bool keepName, NewMediaVolume& volume) {
  IPlatform& platform = GetPlatform();
  if (path.empty() || !platform.IsMountPoint(path)) {
    if (!keepName) {
      std::string p = path;
      while (p.size() > 1 && p.back() == '/') p.pop_back();
      size_t slash = p.rfind('/');
      volume.name = slash == std::string::npos ? p : p.substr(slash + 1);
    }
    volume.serialNumber = 0;
    volume.label.clear();
    volume.fileSystem.clear();
    return;
  }
  auto info = platform.GetVolumeInformation(path);
  if (!info) {
    volume.serialNumber = 0;
    volume.label.clear();
    volume.fileSystem.clear();
    return;
  }
  if (!keepName)
    volume.name = info->caseSensitive && info->casePreserving ? info->label : PrettifyLabel(info->label);
  volume.serialNumber = info->serialNumber;
  volume.fileSystem = info->fileSystem;
  volume.label = info->label;
}

bool DeleteMediaTypeRow(IUiPort& ui, MediaTypeList& list, size_t index) {
  if (index >= list.size()) return false;
  const MediaTypeEntry& entry = list[index];
  const std::string kindName = entry.kind ? Translate(entry.kind->GetKindName()) : std::string();
  const std::string text = FormatInserts(Translate("IDS_DELMEDIATYPE"), {entry.path, entry.name, kindName});
  if (ui.MessageBox(text, Translate("IDS_WARNING"), MB_OKCANCEL | MB_ICONEXCLAMATION) == IDCANCEL) return false;
  list.erase(list.begin() + static_cast<long>(index));
  return true;
}

std::vector<std::string> RegisteredKindKeys() {
  std::vector<std::string> keys;
  for (const auto& entry : MediaKinds().Entries()) keys.push_back(entry.first);
  return keys;
}

int KindKeyRow(const std::string& kindKey) {
  const auto keys = RegisteredKindKeys();
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == kindKey) return static_cast<int>(i);
  return 0;
}
