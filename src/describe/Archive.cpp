#include "describe/Archive.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "cabinet/Cabinet.h"
#include "catalog/FileItemList.h"
#include "describe/ArchiveLibarchive.h"
#include "describe/ArchiveZip.h"
#include "describe/FileAccess.h"
#include "i18n/Translator.h"
#include "ports/TempDir.h"
#include "text/Codepage.h"

namespace {

// Deeper member paths than this are refused: item levels are 16-bit and no
// real archive nests anywhere near it.
constexpr size_t kMaxMemberDepth = 255;

uint32_t Clamp32(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v); }

std::string LowerExtension3(const std::string& path) {
  std::string tail = path.size() >= 3 ? path.substr(path.size() - 3) : path;
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail;
}

// The cabinet reading steps shared by listing and extraction: create, open,
// is-cabinet, copy, destroy; each failure gives its composed text.
bool RunCabinet(const std::string& cabinetPath, const FdiNotify& notify, std::string& error) {
  ERF erf;
  HFDI hfdi = FDICreate(&erf);
  if (!hfdi) {
    error = CabinetFailureText(CabinetStep::Create, erf.erfOper, cabinetPath);
    return false;
  }
  const int fd = ::open(cabinetPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    // The system's reason says more than "Unable to open".
    error = std::strerror(errno);
    FDIDestroy(hfdi);
    return false;
  }
  const bool isCabinet = FDIIsCabinet(hfdi, fd, nullptr);
  ::close(fd);
  if (!isCabinet) {
    error = CabinetFailureText(CabinetStep::IsCabinet, erf.erfOper, cabinetPath);
    FDIDestroy(hfdi);
    return false;
  }
  const size_t slash = cabinetPath.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : cabinetPath.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? cabinetPath : cabinetPath.substr(slash + 1);
  if (!FDICopy(hfdi, name, dir, 0, notify)) {
    error = CabinetFailureText(CabinetStep::Copy, erf.erfOper, cabinetPath);
    FDIDestroy(hfdi);
    return false;
  }
  if (!FDIDestroy(hfdi)) {
    error = CabinetFailureText(CabinetStep::Destroy, erf.erfOper, cabinetPath);
    return false;
  }
  return true;
}

// CAB attribute bits are Win32 bits; only the four a catalog keeps matter.
constexpr uint32_t kKeptAttributes = WIN32_ATTR_READONLY | WIN32_ATTR_HIDDEN | WIN32_ATTR_SYSTEM | WIN32_ATTR_ARCHIVE;

// The members as a tree, each directory's children in first-seen order, so
// that emitting it in pre-order keeps every member under its directory.
class MemberTree {
 public:
  MemberTree() { nodes_.push_back(Node{}); }

  bool Add(const ArchiveMember& m, std::string& error) {
    const std::vector<std::string> parts = SplitMemberPath(m.storedName);
    if (parts.empty()) return true;  // nothing left to show (a bare "/" or "..")
    if (parts.size() > kMaxMemberDepth) {
      error = "member path too deep: " + m.storedName;
      return false;
    }
    const size_t dirCount = m.isDirectory ? parts.size() : parts.size() - 1;
    uint32_t parent = 0;
    for (size_t i = 0; i < dirCount; ++i) parent = Directory(parent, parts[i], m.time);
    if (!m.isDirectory) {
      Node file;
      file.name = parts.back();
      file.size = m.size;
      file.time = m.time;
      file.attributes = m.win32Attributes & kKeptAttributes;
      nodes_.push_back(std::move(file));
      nodes_[parent].children.push_back(static_cast<uint32_t>(nodes_.size() - 1));
    }
    return true;
  }

  // Adds the items after the archive; false when the user stopped.
  bool Emit(IArchiveScan& scan, size_t archiveIndex) {
    CFileItemList& list = scan.List();
    long pos = static_cast<long>(list.SubtreeEnd(archiveIndex));
    const int baseLevel = list[archiveIndex]->level + 1;
    struct Frame {
      uint32_t node;
      size_t next;
    };
    std::vector<Frame> stack{{0, 0}};
    while (!stack.empty()) {
      Frame& top = stack.back();
      const Node& parent = nodes_[top.node];
      if (top.next >= parent.children.size()) {
        stack.pop_back();
        continue;
      }
      const uint32_t childIndex = parent.children[top.next++];
      const Node& child = nodes_[childIndex];
      const int level = baseLevel + static_cast<int>(stack.size()) - 1;
      long added;
      if (child.isDirectory) {
        added = scan.AddDirectoryItem(child.name, child.time, WIN32_ATTR_DIRECTORY, level, pos, true);
      } else {
        added = scan.AddFileItem(child.name, child.size, child.time, child.attributes, level, pos, true, false);
      }
      if (added < 0) return false;
      pos = added + 1;
      if (child.isDirectory) stack.push_back(Frame{childIndex, 0});
    }
    return true;
  }

 private:
  struct Node {
    std::string name;
    bool isDirectory = false;
    uint32_t size = 0;
    uint32_t time = 0;
    uint32_t attributes = 0;
    std::vector<uint32_t> children;
  };

  uint32_t Directory(uint32_t parent, const std::string& name, uint32_t time) {
    std::string key = std::to_string(parent);
    key += '/';
    key += Utf8Upper(name);
    auto it = directories_.find(key);
    if (it != directories_.end()) return it->second;
    Node dir;
    dir.name = name;
    dir.isDirectory = true;
    dir.time = time;
    nodes_.push_back(std::move(dir));
    const auto index = static_cast<uint32_t>(nodes_.size() - 1);
    nodes_[parent].children.push_back(index);
    directories_.emplace(std::move(key), index);
    return index;
  }

  std::vector<Node> nodes_;
  std::unordered_map<std::string, uint32_t> directories_;
};

// The log lines of an archive read only in part: encrypted names or
// contents, damage after some members.
std::vector<std::string> LibarchiveNotes(const std::string& archivePath, const LibarchiveListing& listing) {
  std::vector<std::string> notes;
  if (listing.namesEncrypted) notes.push_back(FormatInserts(Translate("IDS_ARCHIVENAMESENCRYPTED"), {archivePath}));
  if (listing.encryptedMembers)
    notes.push_back(FormatInserts(Translate("IDS_ARCHIVEENCRYPTED"),
                                  {archivePath, static_cast<long long>(listing.encryptedMembers)}));
  if (!listing.damage.empty())
    notes.push_back(FormatInserts(Translate("IDS_ARCHIVEDAMAGED"),
                                  {archivePath, static_cast<long long>(listing.members.size()), listing.damage}));
  return notes;
}

}  // namespace

bool ListCabinetMembers(const std::string& cabinetPath, std::vector<ArchiveMember>& members, std::string& error) {
  members.clear();
  auto notify = [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) -> intptr_t {
    if (type != fdintCOPY_FILE) return 0;
    ArchiveMember m;
    m.storedName = n.psz1;
    m.size = n.cb;
    m.time = DosDateTimeToTime(n.date, n.time);
    m.win32Attributes = n.attribs;
    members.push_back(std::move(m));
    return 0;  // nothing is written while listing
  };
  return RunCabinet(cabinetPath, notify, error);
}

bool ListZipMembers(const std::string& zipPath, std::vector<ArchiveMember>& members, std::string& error) {
  members.clear();
  std::vector<ZipEntry> entries;
  if (!ZipAccess().List(zipPath, entries, error)) return false;
  members.reserve(entries.size());
  for (const ZipEntry& e : entries) {
    ArchiveMember m;
    m.storedName = e.name;
    m.isDirectory = IsDirectoryEntryName(e.name);
    m.size = Clamp32(e.size);
    m.time = ZipEntryTime(e);
    members.push_back(std::move(m));
  }
  return true;
}

int ListArchive(const std::string& archivePath, IArchiveScan& scan, size_t archiveIndex, std::string* error) {
  std::string reason;
  std::vector<ArchiveMember> members;
  std::vector<std::string> notes;  // what the log says of an archive listed only in part
  const std::string ext = LowerExtension3(archivePath);
  bool listed = false;
  if (auto unreadable = UnreadableReason(archivePath)) {
    reason = *unreadable;  // the system's own words, whatever the archive kind
  } else if (ext == "cab") {
    listed = ListCabinetMembers(archivePath, members, reason);
  } else if (ext == "zip") {
    listed = ListZipMembers(archivePath, members, reason);
  } else if (IsLibarchiveName(archivePath)) {
    LibarchiveListing listing;
    listed = ListLibarchiveMembers(archivePath, listing, reason);
    notes = LibarchiveNotes(archivePath, listing);
    members = std::move(listing.members);
  } else {
    reason = "not a ZIP or CAB archive";
  }
  MemberTree tree;
  for (size_t i = 0; listed && i < members.size(); ++i) listed = tree.Add(members[i], reason);
  if (!listed) {
    if (error) *error = reason;
    return 0;
  }
  // The cause first, then whatever the members' descriptions log.
  for (const std::string& note : notes) scan.LogScanError(note);
  {
    const LibarchiveKeepOpen keepOpen;  // members are described in turn, read on from the last
    tree.Emit(scan, archiveIndex);  // a user stop is no listing failure
  }
  return 1;
}

int ExtractArchiveMember(const std::string& archivePath, const std::string& memberName, const std::string& memberPath,
                         std::string& extractedPath, const std::string& dir, std::string* error) {
  extractedPath.clear();
  const std::string root = dir.empty() ? TempWorkDirectory() : dir;
  std::string reason;
  if (root.empty()) {
    reason = "no temporary directory";
  } else if (LowerExtension3(archivePath) == "zip") {
    if (ZipAccess().ExtractMember(archivePath, memberPath.empty() ? memberName : memberPath, root, extractedPath,
                                  reason))
      return 1;
  } else if (LowerExtension3(archivePath) == "cab") {
    // Which member: the one at the asked path (stored exactly so, else under
    // another case), so that two members of one name in different
    // directories are told apart; without a path, the last of that name.
    std::vector<ArchiveMember> members;
    long chosen = -1;
    if (ListCabinetMembers(archivePath, members, reason)) {
      const std::vector<std::string> wanted = SplitMemberPath(memberPath.empty() ? memberName : memberPath);
      PathMatch best = PathMatch::None;
      for (size_t i = 0; i < members.size(); ++i) {
        std::vector<std::string> stored = SplitMemberPath(members[i].storedName);
        if (memberPath.empty() && !stored.empty()) stored.erase(stored.begin(), stored.end() - 1);
        const PathMatch match = MatchMemberPath(stored, wanted);
        if (match != PathMatch::None && match >= best) {
          if (!(match == PathMatch::IgnoringCase && best == PathMatch::IgnoringCase)) chosen = static_cast<long>(i);
          best = match;
        }
      }
      if (chosen < 0) reason = "no member " + (memberPath.empty() ? memberName : memberPath);
    }
    std::string written;
    long ordinal = -1;
    auto notify = [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) -> intptr_t {
      if (type == fdintCOPY_FILE) {
        if (++ordinal != chosen) return 0;
        const int fd = OpenMemberOutput(root, SplitMemberPath(n.psz1), false, written);
        return fd < 0 ? -1 : fd;
      }
      if (type == fdintCLOSE_FILE_INFO) {
        SetFileTime(n.hf, DosDateTimeToTime(n.date, n.time));
        ::close(n.hf);
        extractedPath = written;
        return 1;
      }
      return 0;
    };
    if (chosen >= 0 && RunCabinet(archivePath, notify, reason) && !extractedPath.empty()) return 1;
    if (!written.empty()) ::unlink(written.c_str());  // nothing half-written stays behind
    extractedPath.clear();
  } else if (IsLibarchiveName(archivePath)) {
    if (ExtractLibarchiveMember(archivePath, memberPath.empty() ? memberName : memberPath, root, extractedPath,
                                reason))
      return 1;
  } else {
    reason = "not a ZIP or CAB archive";
  }
  if (error) *error = reason;
  return 0;
}

int ExtractWholeZip(const std::string& archivePath, std::string& outDir, const std::string& dir, std::string* error) {
  const std::string root = dir.empty() ? TempWorkDirectory() : dir;
  std::string reason;
  if (root.empty()) {
    reason = "no temporary directory";
  } else if (ZipAccess().ExtractAll(archivePath, root, reason)) {
    outDir = root;
    return 1;
  }
  if (error) *error = reason;
  return 0;
}

long ArchiveOfMember(const CFileItemList& list, size_t index) {
  if (index >= list.size()) return -1;
  for (long p = list.Parent(index); p >= 0; p = list.Parent(static_cast<size_t>(p))) {
    const CFileItem* item = list[static_cast<size_t>(p)];
    if (item->type == ITEM_ARCHIVE_ENTRY || (item->type == ITEM_FILE && item->isArchive)) return p;
  }
  return -1;
}

std::string MemberPathInArchive(const CFileItemList& list, size_t index) {
  const long archive = ArchiveOfMember(list, index);
  if (archive < 0) return index < list.size() ? list[index]->name : std::string();
  std::vector<std::string> names{list[index]->name};
  for (long p = list.Parent(index); p > archive; p = list.Parent(static_cast<size_t>(p)))
    names.push_back(list[static_cast<size_t>(p)]->name);
  std::reverse(names.begin(), names.end());
  return JoinMemberPath(names);
}

bool ListArchiveHook(IArchiveScan& scan, size_t archiveIndex, std::string& reason) {
  const std::string path = scan.PhysicalPath(scan.List(), archiveIndex);
  return ListArchive(path, scan, archiveIndex, &reason) == 1;
}

std::optional<std::string> ExtractMemberHook(IDescribeHost& host, const CFileItemList& list, size_t index) {
  const long archive = ArchiveOfMember(list, index);
  if (archive < 0) return std::nullopt;
  const std::string archivePath = host.PhysicalPath(list, static_cast<size_t>(archive));
  std::string extracted;
  if (!ExtractArchiveMember(archivePath, list[index]->name, MemberPathInArchive(list, index), extracted))
    return std::nullopt;
  return extracted;
}
