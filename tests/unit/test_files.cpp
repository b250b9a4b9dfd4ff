// The config folder lookup, whole-file reads with a size cap and atomic replacement of files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/files.h"
#include "platform/json.h"
#include "temp_folder.h"

namespace {

TEST(UserConfigFolder, FromTheEnvironment) {
  const struct {
    const char* xdg;
    const char* home;
    const char* expected;
  } cases[] = {
      {"/x/conf", "/home/u", "/x/conf/"},
      {"/x/conf/", "/home/u", "/x/conf/"},
      {nullptr, "/home/u", "/home/u/.config/"},
      {"", "/home/u/", "/home/u/.config/"},
      {"relative/conf", "/home/u", "/home/u/.config/"},  // relative: invalid, ignored
      {nullptr, nullptr, ""},
      {nullptr, "", ""},
      {"relative", "also-relative", ""},
  };
  for (const auto& c : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(UserConfigFolder(), c.expected)
        << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "(unset)");
  }
}

TEST(ReadWholeFile, CapsTheSize) {
  TempFolder temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "/f";
  std::string bytes;

  ASSERT_TRUE(WriteTestFile(path, std::string(100, 'a')));
  EXPECT_TRUE(ReadWholeFile(path, &bytes, 100));
  EXPECT_EQ(bytes, std::string(100, 'a'));
  EXPECT_FALSE(ReadWholeFile(path, &bytes, 99));
  EXPECT_EQ(bytes, "");

  // Bigger than one read chunk, at the JSON cap and one byte beyond it.
  ASSERT_TRUE(WriteTestFile(path, std::string(JsonMaxFileBytes, 'b')));
  EXPECT_TRUE(ReadWholeFile(path, &bytes, JsonMaxFileBytes));
  EXPECT_EQ(bytes.size(), JsonMaxFileBytes);
  ASSERT_TRUE(WriteTestFile(path, std::string(JsonMaxFileBytes + 1, 'b')));
  EXPECT_FALSE(ReadWholeFile(path, &bytes, JsonMaxFileBytes));

  ASSERT_TRUE(WriteTestFile(path, ""));
  EXPECT_TRUE(ReadWholeFile(path, &bytes, 10));
  EXPECT_EQ(bytes, "");

  EXPECT_FALSE(ReadWholeFile(temp.path() + "/missing", &bytes, 10));
  EXPECT_FALSE(ReadWholeFile(temp.path(), &bytes, 10));  // a folder
  // A named pipe without a writer: refused at once instead of waiting for one.
  ASSERT_EQ(mkfifo((temp.path() + "/pipe").c_str(), 0600), 0);
  EXPECT_FALSE(ReadWholeFile(temp.path() + "/pipe", &bytes, 10));
}

TEST(WriteFileAtomically, ReplacesTheWholeFile) {
  TempFolder temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "/prefs.json";
  ASSERT_TRUE(WriteTestFile(path, std::string(5000, 'o')));

  EXPECT_TRUE(WriteFileAtomically(path, "new"));
  EXPECT_EQ(ReadTestFile(path), "new");
  EXPECT_EQ(FolderListing(temp.path()), "prefs.json\n");  // no temporary file left

  EXPECT_TRUE(WriteFileAtomically(temp.path() + "/fresh", ""));
  EXPECT_EQ(ReadTestFile(temp.path() + "/fresh"), "");
}

TEST(WriteFileAtomically, FailsWhereNoFileCanBeMade) {
  TempFolder temp;
  ASSERT_FALSE(temp.path().empty());
  EXPECT_FALSE(WriteFileAtomically(temp.path() + "/missing/prefs.json", "x"));
  // The "folder" is a file.
  ASSERT_TRUE(WriteTestFile(temp.path() + "/file", "keep"));
  EXPECT_FALSE(WriteFileAtomically(temp.path() + "/file/prefs.json", "x"));
  EXPECT_EQ(ReadTestFile(temp.path() + "/file"), "keep");
  EXPECT_EQ(FolderListing(temp.path()), "file\n");
}

TEST(Folders, MakeAndTest) {
  TempFolder temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string folder = temp.path() + "/new";
  EXPECT_FALSE(IsFolder(folder));
  EXPECT_TRUE(MakeFolder(folder));
  EXPECT_TRUE(IsFolder(folder));
  EXPECT_TRUE(IsFolder(folder + "/"));
  EXPECT_FALSE(MakeFolder(temp.path() + "/a/b"));  // parent missing
  ASSERT_TRUE(WriteTestFile(temp.path() + "/file", ""));
  EXPECT_FALSE(IsFolder(temp.path() + "/file"));
  EXPECT_FALSE(IsFolder(""));
}

}  // namespace
