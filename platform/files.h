// Files and folders.
#pragma once

#include <string>

// The per-user config folder ($XDG_CONFIG_HOME, else ~/.config) ending with '/', or "" when it
// cannot be told.
std::string UserConfigFolder();
bool IsFolder(const std::string& path);
bool MakeFolder(const std::string& path);
// Reads a whole file (at most max_bytes; false when larger or unreadable).
bool ReadWholeFile(const std::string& path, std::string* bytes, size_t max_bytes);
// Replaces the file atomically: temporary file in the same folder, flushed, renamed over the old.
// True only when every byte reached the new file.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);
