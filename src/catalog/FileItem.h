// Catalog items: files, directories, folders, applications and media.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "picture/Bitmap.h"

class IUiPort;

// Item type codes.
enum : uint8_t {
  ITEM_MEDIA = 1,
  ITEM_FOLDER = 2,
  ITEM_DIRECTORY = 3,
  ITEM_FILE = 4,
  ITEM_DESCRIPTION = 5,
  ITEM_ARCHIVE_ENTRY = 6,
};

// Stored attribute bits.
enum : uint8_t {
  ATTR_ARCHIVE = 0x01,
  ATTR_HIDDEN = 0x02,
  ATTR_READONLY = 0x04,
  ATTR_SYSTEM = 0x08,
};

// Win32 file attribute bits, as scanners and old catalogs speak them.
enum : uint32_t {
  WIN32_ATTR_READONLY = 0x01,
  WIN32_ATTR_HIDDEN = 0x02,
  WIN32_ATTR_SYSTEM = 0x04,
  WIN32_ATTR_DIRECTORY = 0x10,
  WIN32_ATTR_ARCHIVE = 0x20,
};

// FormatLine column flags.
enum : unsigned {
  FL_FILENAME = 0x01,
  FL_DIRNAME = 0x02,
  FL_APPTITLE = 0x04,
  FL_SIZE = 0x08,
  FL_DATE = 0x10,
  FL_ATTRIBUTES = 0x20,
};

uint8_t AttributesFromWin32(uint32_t win32Attributes);
// "A", "H", "R", "S" or a blank per bit, in that order.
std::string AttributeText(uint8_t attributes);
// "%u Ko": whole kilobytes, rounded down, as lists and printouts show sizes.
std::string KiloText(uint32_t bytes);
// "dd/mm/yyyy  hh:mm:ss" of a stored time in local time, as lists show it.
std::string FormatItemTime(uint32_t time);
// Label of the diagnostic item list for a type code ("Media", "Dir+Appli", ...).
std::string TypeLabel(uint8_t type, bool isApplication);

class CFileItem {
 public:
  uint8_t type = 0;
  std::string name;         // UTF-8
  std::string description;  // UTF-8, lines separated by CR LF
  std::string typeName;     // transient; never stored, never copied
  uint32_t size = 0;
  uint32_t time = 0;  // seconds since 1970-01-01 UTC
  int16_t level = -1;
  uint8_t attributes = 0;
  uint32_t isArchive = 0;
  std::unique_ptr<PLBitmap> thumbnail;

  CFileItem() = default;
  // An item from scan data; attributes are Win32 bits.
  CFileItem(uint8_t type, std::string name, uint32_t size, uint32_t time, int16_t level,
            uint32_t win32Attributes);
  // Takes type, name, size, time, level, attributes, isArchive and a deep
  // copy of the thumbnail; not the description nor typeName.
  CFileItem(const CFileItem& other);
  CFileItem& operator=(const CFileItem&) = delete;
  virtual ~CFileItem() = default;

  // Stream class name ("CFileItem", "CFileItemAppli", "CFileItemMediaCD", ...).
  virtual const char* GetClassName() const { return "CFileItem"; }
  // A complete copy of the object, description and own fields included.
  virtual std::unique_ptr<CFileItem> Clone() const;
  virtual int IsApplication() const { return 0; }
  // The 82-column text line of lists and printouts; out is emptied first.
  virtual void FormatLine(unsigned flags, int indentBase, std::string& out) const;
  bool IsMedia() const { return type == ITEM_MEDIA; }
};

class CFileItemAppli : public CFileItem {
 public:
  std::string installProgram;
  uint32_t appSize = 0;
  uint32_t appTime = 0;

  CFileItemAppli() { type = ITEM_DIRECTORY; }
  // Converts a directory: copies it as CFileItem's copy does.
  explicit CFileItemAppli(const CFileItem& directory) : CFileItem(directory) {}
  CFileItemAppli(const CFileItemAppli& other);

  const char* GetClassName() const override { return "CFileItemAppli"; }
  std::unique_ptr<CFileItem> Clone() const override;
  int IsApplication() const override { return 1; }
  // One-line summary from the description; the text of IDS_EMPTYAPPLI when none.
  std::string GetTitle() const;
};

// The title rule on its own, for callers that hold only a description.
std::string ApplicationTitle(const std::string& description);

class CFileItemMedia : public CFileItem {
 public:
  std::string rootPath;
  std::string volumeLabel;
  std::string fileSystem;
  uint32_t serialNumber = 0;

  CFileItemMedia() { type = ITEM_MEDIA; }
  CFileItemMedia(const CFileItemMedia& other);

  const char* GetClassName() const override { return "CFileItemMedia"; }
  std::unique_ptr<CFileItem> Clone() const override;

  virtual const char* GetKindKey() const { return "CFileItemMedia"; }
  virtual const char* GetKindName() const { return "$$Unknown"; }
  virtual CFileItemMedia* GetPrototype() const;
  virtual std::unique_ptr<CFileItemMedia> CreateNew() const;
  // Lets the user choose where the media is read from; 1 on success.
  // Platform behaviour lives with the media kinds (scan/).
  virtual int ChooseSource(IUiPort* ui);
  virtual int CanBrowse() const { return 0; }
  virtual void GetKindHint(std::string& hint) const { hint.clear(); }
  // Nonzero when the volume now at rootPath (or at path) is the one scanned.
  virtual int IsSameVolume(const std::string* path = nullptr) const;
  virtual int GetIconId() const { return -1; }
};

class CFileItemMediaCD : public CFileItemMedia {
 public:
  CFileItemMediaCD() = default;
  CFileItemMediaCD(const CFileItemMediaCD&) = default;
  const char* GetClassName() const override { return "CFileItemMediaCD"; }
  std::unique_ptr<CFileItem> Clone() const override;
  const char* GetKindKey() const override { return "CD"; }
  const char* GetKindName() const override { return "$$Compact disk"; }
  CFileItemMedia* GetPrototype() const override;
  std::unique_ptr<CFileItemMedia> CreateNew() const override;
  int ChooseSource(IUiPort* ui) override;
  int IsSameVolume(const std::string* path = nullptr) const override;
  int GetIconId() const override { return 202; }
};

class CFileItemMediaDVD : public CFileItemMediaCD {
 public:
  CFileItemMediaDVD() = default;
  CFileItemMediaDVD(const CFileItemMediaDVD&) = default;
  const char* GetClassName() const override { return "CFileItemMediaDVD"; }
  std::unique_ptr<CFileItem> Clone() const override;
  const char* GetKindKey() const override { return "DVD"; }
  const char* GetKindName() const override { return "$$Digital Versatile Disk (DVD)"; }
  CFileItemMedia* GetPrototype() const override;
  std::unique_ptr<CFileItemMedia> CreateNew() const override;
  int GetIconId() const override { return 207; }
};

class CFileItemMediaDir : public CFileItemMedia {
 public:
  CFileItemMediaDir() = default;
  CFileItemMediaDir(const CFileItemMediaDir&) = default;
  const char* GetClassName() const override { return "CFileItemMediaDir"; }
  std::unique_ptr<CFileItem> Clone() const override;
  const char* GetKindKey() const override { return "Dir"; }
  const char* GetKindName() const override { return "$$Directory"; }
  CFileItemMedia* GetPrototype() const override;
  std::unique_ptr<CFileItemMedia> CreateNew() const override;
  int ChooseSource(IUiPort* ui) override;
  int CanBrowse() const override { return 1; }
  int IsSameVolume(const std::string* path = nullptr) const override;
  int GetIconId() const override { return 200; }
};

class CFileItemMediaRem : public CFileItemMedia {
 public:
  CFileItemMediaRem() = default;
  CFileItemMediaRem(const CFileItemMediaRem&) = default;
  const char* GetClassName() const override { return "CFileItemMediaRem"; }
  std::unique_ptr<CFileItem> Clone() const override;
  const char* GetKindKey() const override { return "Rem"; }
  const char* GetKindName() const override { return "$$Removable media"; }
  CFileItemMedia* GetPrototype() const override;
  std::unique_ptr<CFileItemMedia> CreateNew() const override;
  int ChooseSource(IUiPort* ui) override;
  int IsSameVolume(const std::string* path = nullptr) const override;
  int GetIconId() const override { return 201; }
};

// Makes an empty object of a stream class name; null for an unknown name.
std::unique_ptr<CFileItem> CreateItemOfClass(const std::string& className);

// The media kind registry: kind key to prototype, in registration order.
class CMediaKindRegistry {
 public:
  using PrototypeFn = std::function<CFileItemMedia*()>;
  void Register(const std::string& key, PrototypeFn prototype);
  // Exact, case-sensitive; the last match wins; null when unknown.
  CFileItemMedia* Lookup(const std::string& key) const;
  const std::vector<std::pair<std::string, PrototypeFn>>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }

 private:
  std::vector<std::pair<std::string, PrototypeFn>> entries_;
};

// The process-wide registry; start-up registers "CD", "Dir" and "Rem".
CMediaKindRegistry& MediaKinds();
void RegisterDefaultMediaKinds();
