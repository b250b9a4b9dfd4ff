// Files and folders on POSIX.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

// A set, absolute path from the environment; relative ones are invalid by the XDG rules.
std::string AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return "";
  return value;
}

std::string WithTrailingSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Makes a finished rename durable. Some file systems cannot sync a folder; the new file is in
// place either way, so this is best effort.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

std::string UserConfigFolder() {
  std::string folder = AbsoluteFromEnvironment("XDG_CONFIG_HOME");
  if (folder.empty()) {
    const std::string home = AbsoluteFromEnvironment("HOME");
    if (home.empty()) return "";
    folder = WithTrailingSlash(home) + ".config";
  }
  return WithTrailingSlash(folder);
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolder(const std::string& path) {
  // Owner only, as the XDG rules ask for folders made below the user's config folder.
  return mkdir(path.c_str(), 0700) == 0;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, size_t max_bytes) {
  bytes->clear();
  // Non-blocking so that opening a named pipe cannot hang; it has no effect on regular files.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info;
  // Only regular files: a folder cannot be read and a pipe or device could block for ever.
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  std::vector<char> chunk(64 * 1024);
  while (ok) {
    const ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (bytes->size() + static_cast<size_t>(n) > max_bytes) {
      ok = false;
      break;
    }
    bytes->append(chunk.data(), static_cast<size_t>(n));
  }
  close(fd);
  if (!ok) bytes->clear();
  return ok;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}
