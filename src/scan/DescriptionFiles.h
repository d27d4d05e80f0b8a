// Readers of the description files that make a directory an application:
// File_id.diz and other plain texts, File_id.di_ (Windows LZ compressed),
// the "dir.txt" file named after its directory, setup.ini and setup.lst.
// Files are Windows-1252 or UTF-8 on disk; the texts returned are UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// How much of a plain or compressed description file is taken.
constexpr size_t kDescriptionBytes = 2047;

// The text of bytes up to the first NUL, as UTF-8.
std::string DescriptionText(std::string_view bytes);

// The description of a "dir.txt" file from its bytes: with a second line,
// line 4, " ", line 1, then lines 2, 3 and 5, joined by CR LF; without one,
// the first 37 characters of line 1, "...", CR LF and line 1.
std::string DirTxtDescription(std::string_view bytes);

// The value of the first "key=value" line after the line "[section]" (both
// compared ignoring case, the key on its first characters only); empty when
// there is none. Lines are trimmed; sections after it are not told apart.
std::string SetupFileValue(std::string_view bytes, std::string_view section, std::string_view key);

// Readers of files on disk; nothing when the file cannot be read.
// The first 2047 bytes, up to the first NUL.
std::optional<std::string> ReadPlainDescription(const std::string& path);
// File_id.di_: expanded, at most 2047 bytes; a file that is not compressed
// is read as it is, and compressed data that cannot be expanded gives an
// empty description.
std::optional<std::string> ReadCompressedDescription(const std::string& path);
std::optional<std::string> ReadDirTxtDescription(const std::string& path);
// setup.ini ("[Startup]", "AppName") and setup.lst ("[Setup]", "Title").
std::optional<std::string> ReadSetupDescription(const std::string& path, std::string_view section,
                                                std::string_view key);
