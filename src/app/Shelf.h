// The shelf: the catalog files a search goes through all at once, kept in
// the settings file's "Shelf" section ("Catalog 1", "Catalog 2", ...).
#pragma once

#include <string>
#include <vector>

class CIniFile;

std::vector<std::string> ReadShelf(const CIniFile& ini);
// Writes every entry and removes those an earlier, longer shelf left.
void WriteShelf(CIniFile& ini, const std::vector<std::string>& shelf);
// The form a catalog takes on the shelf: absolute and normalised, so that
// one file is there once however it was named.
std::string ShelfPath(const std::string& path);
// Appends the file; false when it is there already.
bool AddToShelf(std::vector<std::string>& shelf, const std::string& path);
// false when it was not there.
bool RemoveFromShelf(std::vector<std::string>& shelf, const std::string& path);
