#include "describe/Describe.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "catalog/FileItemList.h"
#include "describe/ExeVersion.h"
#include "describe/FileAccess.h"
#include "describe/MediaDescribers.h"
#include "describe/Mp3.h"
#include "i18n/Translator.h"
#include "text/Codepage.h"

namespace {

// The upper-cased text from the last dot of the name, dot included; "" without one.
std::string UpperExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  return Utf8Upper(std::string_view(name).substr(dot));
}

// The archive that holds item index: its nearest ancestor marked as archive
// and typed as the archive file itself.
long ArchiveOf(const CFileItemList& list, size_t index) {
  for (long p = list.Parent(index); p >= 0; p = list.Parent(static_cast<size_t>(p))) {
    const CFileItem* item = list[static_cast<size_t>(p)];
    if (item->isArchive && (item->type == ITEM_ARCHIVE_ENTRY || item->type == ITEM_FILE)) return p;
  }
  return -1;
}

// The file a describer reads: the item's own file, or for an archive member a
// temporary copy that is deleted when this goes away.
class ReadableFile {
 public:
  ReadableFile(CFileItemList& list, size_t index, IDescribeHost& host) {
    const CFileItem* item = list[index];
    if (!item->isArchive) {
      path_ = host.PhysicalPath(list, index);
      ok_ = true;
      return;
    }
    if (auto extracted = host.ExtractArchiveMember(list, index)) {
      path_ = *extracted;
      temporary_ = true;
      ok_ = true;
      return;
    }
    long archive = ArchiveOf(list, index);
    std::string archivePath = archive >= 0 ? host.PhysicalPath(list, static_cast<size_t>(archive)) : std::string();
    host.LogScanError(FormatInserts(Translate("IDS_UNZIPERROR"), {archivePath + "/" + item->name}));
  }
  ~ReadableFile() {
    if (!temporary_) return;
    // A copy extracted read-only must still go.
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_write, std::filesystem::perm_options::add, ec);
    std::filesystem::remove(path_, ec);
  }
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;

  bool ok() const { return ok_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool ok_ = false;
  bool temporary_ = false;
};

// Runs one describer; one that throws leaves the path as the description and
// a line in the scan log instead of ending the scan. A file the system fails
// to read gets no description at all, only the log line with the system's
// reason; false then.
template <class Fn>
bool RunDescriber(CFileItem& item, const std::string& path, IDescribeHost& host, Fn&& describe) {
  const std::string before = item.description;
  try {
    describe();
  } catch (const std::system_error& e) {
    item.description = before;
    item.thumbnail.reset();
    host.LogScanError(UnreadableLine(path, e.code().message()));
    return false;
  } catch (const std::exception& e) {
    item.description = path + "\n";
    host.LogScanError(path + "  " + e.what());
  } catch (...) {
    item.description = path + "\n";
    host.LogScanError(path + "  ");
  }
  return true;
}

}  // namespace

const Describers& DefaultDescribers() {
  static const Describers describers{
      [](const std::string& path) { return DescribeMp3File(path); },
      [](const std::string& path, std::string& description) { DescribeExecutable(path, description); },
      [](const std::string& path, CFileItem& item, const DescribeSettings& settings, IDescribeHost& host) {
        DescribePicture(path, item, settings, host);
      },
      DescribeAudio,
      DescribeVideo,
  };
  return describers;
}

int DescribeFile(CFileItemList& list, size_t index, const DescribeSettings& settings, IDescribeHost& host) {
  return DescribeFile(list, index, settings, host, DefaultDescribers());
}

namespace {

enum class Describer { None, Mp3, Exe, Picture, Audio, Video };

Describer ChooseDescriber(const std::string& name, const DescribeSettings& settings) {
  if (!settings.scanDescrs) return Describer::None;
  const std::string ext = UpperExtension(name);
  if (settings.mp3 && ext == ".MP3") return Describer::Mp3;
  if (settings.exe && (ext == ".EXE" || ext == ".DLL" || ext == ".OCX" || ext == ".VBX")) return Describer::Exe;
  if (IsDescribedPicture(name, settings)) return Describer::Picture;
  if (IsDescribedAudio(name, settings)) return Describer::Audio;
  if (IsDescribedVideo(name, settings)) return Describer::Video;
  return Describer::None;
}

}  // namespace

bool WouldDescribe(const std::string& fileName, const DescribeSettings& settings) {
  return ChooseDescriber(fileName, settings) != Describer::None;
}

int DescribeFile(CFileItemList& list, size_t index, const DescribeSettings& settings, IDescribeHost& host,
                 const Describers& describers) {
  if (index >= list.size()) return 0;
  CFileItem& item = *list[index];
  const Describer which = ChooseDescriber(item.name, settings);
  if (which == Describer::None) return 0;
  ReadableFile file(list, index, host);
  if (!file.ok()) return 0;
  if (auto reason = UnreadableReason(file.path())) {
    host.LogScanError(UnreadableLine(file.path(), *reason));
    return 0;
  }
  const bool read = RunDescriber(item, file.path(), host, [&] {
    switch (which) {
      case Describer::Mp3:
        item.description = describers.mp3(file.path());
        break;
      case Describer::Exe:
        describers.exe(file.path(), item.description);
        break;
      default:
        try {
          const auto& describe = which == Describer::Picture ? describers.picture
                                 : which == Describer::Audio ? describers.audio
                                                             : describers.video;
          if (describe) describe(file.path(), item, settings, host);
        } catch (...) {
          item.thumbnail.reset();  // never keep a half-made thumbnail
          throw;
        }
    }
  });
  return read ? 1 : 0;
}
