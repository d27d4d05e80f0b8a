// MP3 audio description.
#pragma once

#include <string>

// The description text of an MP3 file (time, bit rate, frequency, tags).
std::string DescribeMp3File(const std::string& path);
