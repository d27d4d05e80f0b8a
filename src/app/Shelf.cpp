#include "app/Shelf.h"

#include <algorithm>
#include <filesystem>

#include "app/Settings.h"

namespace {
constexpr const char* kShelfSection = "Shelf";
std::string ShelfKey(size_t n) { return "Catalog " + std::to_string(n); }
}  // namespace

std::vector<std::string> ReadShelf(const CIniFile& ini) {
  std::vector<std::string> shelf;
  // Up to the first missing or empty value, as the other numbered lists.
  for (size_t n = 1;; ++n) {
    std::string v = ini.GetString(kShelfSection, ShelfKey(n));
    if (v.empty()) break;
    shelf.push_back(std::move(v));
  }
  return shelf;
}

void WriteShelf(CIniFile& ini, const std::vector<std::string>& shelf) {
  for (size_t n = 0; n < shelf.size(); ++n) ini.Set(kShelfSection, ShelfKey(n + 1), shelf[n]);
  for (size_t n = shelf.size() + 1; ini.Get(kShelfSection, ShelfKey(n)).has_value(); ++n)
    ini.Remove(kShelfSection, ShelfKey(n));
}

std::string ShelfPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) p = path;
  return p.lexically_normal().string();
}

bool AddToShelf(std::vector<std::string>& shelf, const std::string& path) {
  const std::string entry = ShelfPath(path);
  if (std::find(shelf.begin(), shelf.end(), entry) != shelf.end()) return false;
  shelf.push_back(entry);
  return true;
}

bool RemoveFromShelf(std::vector<std::string>& shelf, const std::string& path) {
  // The entry as written, or the file however it is named now.
  auto at = std::find(shelf.begin(), shelf.end(), path);
  if (at == shelf.end()) at = std::find(shelf.begin(), shelf.end(), ShelfPath(path));
  if (at == shelf.end()) return false;
  shelf.erase(at);
  return true;
}
