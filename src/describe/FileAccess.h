// Whether a describer can read a file, and the log line when it cannot.
#pragma once

#include <optional>
#include <string>

// The system's text for why the file at path cannot be opened or its first
// bytes read ("Permission denied", "Input/output error", ...); nothing when
// it can be read. FIFOs are opened without waiting for a writer.
std::optional<std::string> UnreadableReason(const std::string& path);

// The scan log line of a file that cannot be read: "path : reason", as the
// walk writes it for a directory it cannot read.
std::string UnreadableLine(const std::string& path, const std::string& reason);
