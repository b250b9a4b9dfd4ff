// Files and folders.
#pragma once

#include <string>

// The per-user config folder ($XDG_CONFIG_HOME, else ~/.config) ending with '/', or "" when it
// cannot be told.
std::string UserConfigFolder();
// True when `path` is an existing folder (links followed).
bool IsFolder(const std::string& path);
// Creates one folder, owner-only (0700); true when it was created.
bool MakeFolder(const std::string& path);
// Reads a whole regular file (at most max_bytes; false when larger or unreadable).
bool ReadWholeFile(const std::string& path, std::string* bytes, size_t max_bytes);
// Replaces the file atomically: temporary file in the same folder, flushed, renamed over the old.
// True only when every byte reached the new file; otherwise the temporary file is removed and
// the old file is left as it was.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);
