// Member names of ZIP and CAB archives, and writing members below a work
// directory without ever leaving it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How much an archive may make us write or hold, so that a hostile archive
// fails instead of exhausting memory or disk.
struct ArchiveLimits {
  uint64_t maxMemberBytes = uint64_t(1) << 30;  // one extracted member
  uint64_t maxTotalBytes = uint64_t(4) << 30;   // a whole extracted archive
};

// The components of a stored member path, split on "/" and "\". Empty, "."
// and ".." components and a leading drive ("C:") are dropped, so the result
// names a place below whatever directory it is joined to.
std::vector<std::string> SplitMemberPath(std::string_view stored);
std::string JoinMemberPath(const std::vector<std::string>& components, char separator = '/');
// How well a stored path answers a wanted one: directories are shared in
// the catalog by name ignoring case, so a member may be asked for under
// another case than it is stored.
enum class PathMatch { None, IgnoringCase, Exact };
PathMatch MatchMemberPath(const std::vector<std::string>& stored, const std::vector<std::string>& wanted);
// True when the stored name ends with a separator (a directory entry).
bool IsDirectoryEntryName(std::string_view stored);

// Creates the directories of components (all but the last) below root and
// opens the last for writing, truncated, owner-writable; with flat, only the
// last component is used, directly in root. Never follows a link. Returns
// the descriptor (and the path in outPath), or -1 with errno set.
int OpenMemberOutput(const std::string& root, const std::vector<std::string>& components, bool flat,
                     std::string& outPath);
// Creates every directory of components below root.
bool MakeMemberDirectories(const std::string& root, const std::vector<std::string>& components);
// True when the file system holding path has room for bytes more.
bool HasRoomFor(const std::string& path, uint64_t bytes);
// Sets the modification time of an open file (0 leaves it).
void SetFileTime(int fd, uint32_t time);
