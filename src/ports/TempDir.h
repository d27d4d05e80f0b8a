// The temporary work directory of the process: a private directory (mode
// 0700) under $TMPDIR (default /tmp) whose name starts with "Quolvane",
// where archive members are unpacked for the describers.
#pragma once

#include <string>

// Creates the directory on first call (later calls return the same path);
// empty when it cannot be created. It is removed when the process exits
// normally, should no one have called RemoveTempWorkDirectory().
std::string TempWorkDirectory();
// Empties the directory (creating it when needed); true on success.
// Never follows symbolic links: a link inside is removed, not its target.
bool ResetTempWorkDirectory();
// Removes the directory and everything in it (at exit); the next
// TempWorkDirectory() call makes a new one.
void RemoveTempWorkDirectory();
// Removes path and everything below it without following symbolic links;
// true when nothing is left.
bool RemoveTree(const std::string& path);
