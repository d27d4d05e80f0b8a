// Version resources of Windows executables (PE32, PE32+ and 16-bit NE).
#pragma once

#include <string>

// The description text of an executable's version resource; empty when the
// file holds none. May throw std::exception on an I/O failure.
std::string DescribeExecutable(const std::string& path);
