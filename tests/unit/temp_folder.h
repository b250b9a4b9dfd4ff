// A private folder under /tmp for one test, removed with everything in it afterwards.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>

class TempFolder {
 public:
  TempFolder() {
    std::string name = "/tmp/ormelund-test-XXXXXX";
    if (mkdtemp(name.data())) path_ = name;
  }
  ~TempFolder() {
    if (path_.empty()) return;
    // Give back write permission that a test took away, so that everything can be removed.
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_directory(ignored)) chmod(it->path().c_str(), 0700);
    }
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Without a trailing '/'; empty when the folder could not be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Sets or unsets an environment variable for one scope, then puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

inline bool WriteTestFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

// The file's bytes, or nothing when it cannot be opened.
inline std::optional<std::string> ReadTestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names in a folder, sorted; for checking that nothing was left behind.
inline std::string FolderListing(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
    names.insert(entry.path().filename().string());
  }
  std::string listing;
  for (const std::string& name : names) listing += name + "\n";
  return listing;
}
