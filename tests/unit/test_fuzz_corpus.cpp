// Replays the committed fuzz corpus (seeds and regression inputs) through the fuzz entries, so that
// the normal and sanitizer builds check the same rules on them without clang.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../fuzz/fuzz_targets.h"
#include "temp_folder.h"

namespace {

TEST(FuzzCorpus, EveryInputKeepsTheRules) {
  for (const FuzzTarget& target : FuzzTargets) {
    const std::filesystem::path folder =
        std::filesystem::path(TEST_SOURCE_DIR) / "fuzz" / "corpus" / target.name;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    EXPECT_GE(files.size(), 5u) << folder;
    for (const auto& file : files) {
      const std::optional<std::string> bytes = ReadTestFile(file.string());
      ASSERT_TRUE(bytes) << file;
      EXPECT_EQ(target.entry(*bytes), "") << file;
    }
  }
}

}  // namespace
