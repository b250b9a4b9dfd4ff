// The data folder, loading and saving preferences.json, and its exact byte format.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/json.h"
#include "settings/preferences.h"
#include "temp_folder.h"

namespace {

constexpr int64_t Int64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t Int64Min = std::numeric_limits<int64_t>::min();

#define GRINNING "\xF0\x9F\x98\x80"                 // U+1F600
#define GRINNING_HALVES "\xED\xA0\xBD\xED\xB8\x80"  // the same as two surrogate halves

// The file for WindowX 100, WindowY 50, the fixed size and station, and the folder `folder`
// (already escaped).
std::string ExampleFile(const std::string& folder) {
  return "{\r\n"
         "  \"WindowW\"    : 730,\r\n"
         "  \"WindowX\"    : 100,\r\n"
         "  \"WindowY\"    : 50,\r\n"
         "  \"Preferences\": \"" +
         folder +
         "\",\r\n"
         "  \"MainStation\": \"ormelund-radio\",\r\n"
         "  \"WindowH\"    : 195\r\n"
         "}";
}

AppData ExampleSettings(const std::string& folder) {
  AppData data;
  data.WindowX = 100;
  data.WindowY = 50;
  data.WindowW = 730;
  data.WindowH = 195;
  data.Preferences = folder;
  data.MainStation = "ormelund-radio";
  return data;
}

// Runs `body` in a child process (after `prepare`) and returns its result, so that a test can
// take away rights or set limits without touching the test process.
std::optional<bool> RunInChild(const std::function<bool()>& prepare,
                               const std::function<bool()>& body) {
  const pid_t pid = fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    if (!prepare()) _exit(2);
    _exit(body() ? 1 : 0);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) > 1) {
    return std::nullopt;
  }
  return WEXITSTATUS(status) == 1;
}

class PreferencesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    config_ = temp_.path() + "/config";
    xdg_.emplace("XDG_CONFIG_HOME", config_.c_str());
    data_folder_ = config_ + "/qmr/Ormelund-Radio/";
    AppSettings = AppData{};
    SetUpDataFolder();
  }
  void TearDown() override { AppSettings = AppData{}; }

  std::string PreferencesFile() const { return data_folder_ + "preferences.json"; }

  TempFolder temp_;
  std::optional<ScopedEnv> xdg_;
  std::string config_;
  std::string data_folder_;
};

TEST_F(PreferencesTest, DataFolderIsCreatedWithEveryLevel) {
  EXPECT_EQ(AppSettings.Preferences, data_folder_);
  EXPECT_TRUE(IsFolder(config_));
  EXPECT_TRUE(IsFolder(config_ + "/qmr"));
  EXPECT_TRUE(IsFolder(data_folder_));
}

TEST_F(PreferencesTest, DataFolderFromHomeOrRelative) {
  {
    ScopedEnv no_xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", (temp_.path() + "/home").c_str());
    SetUpDataFolder();
    EXPECT_EQ(AppSettings.Preferences, temp_.path() + "/home/.config/qmr/Ormelund-Radio/");
    EXPECT_TRUE(IsFolder(AppSettings.Preferences));
  }
  {
    // Neither is known: the folder is relative to the current folder.
    ScopedEnv no_xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv no_home("HOME", nullptr);
    const std::string old_cwd = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(temp_.path().c_str()), 0);
    SetUpDataFolder();
    const bool made = IsFolder(temp_.path() + "/qmr/Ormelund-Radio");
    ASSERT_EQ(chdir(old_cwd.c_str()), 0);
    EXPECT_EQ(AppSettings.Preferences, "qmr/Ormelund-Radio/");
    EXPECT_TRUE(made);
  }
}

TEST_F(PreferencesTest, CreateFolderPathMakesEveryMissingLevel) {
  const struct {
    const char* path;  // below the temporary folder
    bool ok;
  } cases[] = {
      {"/a/b/c", true},
      {"/d/e/f/", true},
      {"/a/b/c/g/", true},  // upper levels exist already
      {"/h//i", true},      // an empty field
  };
  for (const auto& c : cases) {
    const std::string path = temp_.path() + c.path;
    EXPECT_EQ(CreateFolderPath(path, -1), c.ok) << c.path;
    EXPECT_TRUE(IsFolder(path)) << c.path;
  }
  EXPECT_TRUE(IsFolder(temp_.path() + "/d/e"));
  EXPECT_TRUE(CreateFolderPath("/", -1));

  // A level that is a file stops the path; the levels above it were still made.
  ASSERT_TRUE(WriteTestFile(temp_.path() + "/j", ""));
  EXPECT_FALSE(CreateFolderPath(temp_.path() + "/j/k/", -1));
  EXPECT_FALSE(CreateFolderPath("", -1));

  // Relative paths start in the current folder.
  const std::string old_cwd = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(temp_.path().c_str()), 0);
  const bool relative = CreateFolderPath("r/s/", -1);
  ASSERT_EQ(chdir(old_cwd.c_str()), 0);
  EXPECT_TRUE(relative);
  EXPECT_TRUE(IsFolder(temp_.path() + "/r/s"));
}

TEST_F(PreferencesTest, CreateFolderPathSetsPermissionsOnlyWhenAsked) {
  const std::string path = temp_.path() + "/p/q";
  struct stat info;
  ASSERT_TRUE(CreateFolderPath(path + "/", 0750));
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0750u);
  ASSERT_EQ(chmod(path.c_str(), 0711), 0);
  ASSERT_TRUE(CreateFolderPath(path, -1));
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0711u);
}

TEST(FormatPreferences, WorkedExampleByteForByte) {
  EXPECT_EQ(FormatPreferences(ExampleSettings("/home/user/.config/qmr/Ormelund-Radio/")),
            ExampleFile("/home/user/.config/qmr/Ormelund-Radio/"));
  EXPECT_EQ(FormatPreferences(
                ExampleSettings("C:\\Users\\user\\AppData\\Roaming\\qmr\\Ormelund-Radio\\")),
            ExampleFile("C:\\\\Users\\\\user\\\\AppData\\\\Roaming\\\\qmr\\\\Ormelund-Radio\\\\"));
}

TEST(FormatPreferences, EscapesAndWritesStandardUtf8) {
  const struct {
    const char* what;
    std::string text;
    std::string written;
  } cases[] = {
      {"empty", "", R"("")"},
      {"quote and backslash", R"(a"b\c)", R"("a\"b\\c")"},
      {"short escapes", "\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {"other control characters", "\x01\x1f\x0b", R"("\u0001\u001f\u000b")"},
      {"zero", std::string("a\0b", 3), R"("a\u0000b")"},
      {"slash, DEL and letters unchanged", "/\x7f\xC3\xA9\xE2\x82\xAC",
       "\"/\x7f\xC3\xA9\xE2\x82\xAC\""},
      {"beyond U+FFFF: one four-byte sequence", GRINNING, "\"" GRINNING "\""},
      {"two surrogate halves joined", GRINNING_HALVES, "\"" GRINNING "\""},
      {"invalid byte", "a\xFF", "\"a\xEF\xBF\xBD\""},
  };
  for (const auto& c : cases) {
    AppData data = ExampleSettings("/p/");
    data.MainStation = c.text;
    const std::string file = FormatPreferences(data);
    const std::string line = "  \"MainStation\": " + c.written + ",\r\n";
    EXPECT_NE(file.find(line), std::string::npos) << c.what << "\n" << file;
  }
}

TEST(FormatPreferences, IntegersInDecimal) {
  AppData data = ExampleSettings("");
  data.WindowX = -5;
  data.WindowY = Int64Min;
  data.WindowW = 0;
  data.WindowH = Int64Max;
  EXPECT_EQ(FormatPreferences(data),
            "{\r\n"
            "  \"WindowW\"    : 0,\r\n"
            "  \"WindowX\"    : -5,\r\n"
            "  \"WindowY\"    : -9223372036854775808,\r\n"
            "  \"Preferences\": \"\",\r\n"
            "  \"MainStation\": \"ormelund-radio\",\r\n"
            "  \"WindowH\"    : 9223372036854775807\r\n"
            "}");
}

TEST_F(PreferencesTest, SaveWritesTheWorkedExample) {
  AppSettings = ExampleSettings(data_folder_);
  EXPECT_TRUE(SavePreferences());
  EXPECT_EQ(ReadTestFile(PreferencesFile()), ExampleFile(data_folder_));
  EXPECT_EQ(FolderListing(data_folder_), "preferences.json\n");
}

TEST_F(PreferencesTest, FirstStartThenCloseWritesDefaults) {
  EXPECT_FALSE(LoadPreferences());
  EXPECT_TRUE(SavePreferences());
  EXPECT_EQ(ReadTestFile(PreferencesFile()),
            "{\r\n"
            "  \"WindowW\"    : 730,\r\n"
            "  \"WindowX\"    : 0,\r\n"
            "  \"WindowY\"    : 0,\r\n"
            "  \"Preferences\": \"" +
                data_folder_ +
                "\",\r\n"
                "  \"MainStation\": \"ormelund-radio\",\r\n"
                "  \"WindowH\"    : 195\r\n"
                "}");
}

// What a file holds and what LoadPreferences makes of it. The size and the station are always the
// fixed ones; "DATA" stands for the data folder.
struct LoadCase {
  const char* what;
  std::optional<std::string> file;  // nothing: no file
  bool read;
  int64_t x, y;
  std::string preferences;
};

std::string Padded(size_t total) {
  const std::string head = R"({"WindowX":5,"pad":")";
  const std::string tail = R"("})";
  return head + std::string(total - head.size() - tail.size(), 'x') + tail;
}

TEST_F(PreferencesTest, LoadTable) {
  const LoadCase cases[] = {
      {"no file", std::nullopt, false, 0, 0, "DATA"},
      {"empty file", "", false, 0, 0, "DATA"},
      {"upper-case name, fraction", R"({"WINDOWX":120.9})", true, 120, 0, ""},
      {"all members",
       R"({"WindowX":-40,"WindowY":70,"WindowW":1,"WindowH":2,)"
       R"("Preferences":"/x/y/","MainStation":"other"})",
       true, -40, 70, "/x/y/"},
      {"array root", R"([{"WindowX":5}])", true, 0, 0, ""},
      {"number root", "5", true, 0, 0, ""},
      {"string of digits", R"({"WindowX":"100"})", true, 0, 0, ""},
      {"byte-order mark", "\xEF\xBB\xBF{\"WindowX\":5}", false, 0, 0, "DATA"},
      {"text after the closing brace", "{\"WindowX\":5} x", false, 0, 0, "DATA"},
      {"zero byte after the closing brace", std::string("{\"WindowX\":5}\0", 14), false, 0, 0,
       "DATA"},
      {"white space after the closing brace", "{\"WindowX\":5} \r\n\t", true, 5, 0, ""},
      {"duplicates, differently cased", R"({"windowx":1,"WindowX":2,"WINDOWX":3,"windowY":4})",
       true, 3, 4, ""},
      {"last occurrence is null", R"({"WindowX":1,"windowx":null})", true, 0, 0, ""},
      {"booleans", R"({"WindowX":true,"WindowY":false})", true, 1, 0, ""},
      {"huge numbers", R"({"WindowX":1e300,"WindowY":-1e300})", true, Int64Max, Int64Min, ""},
      {"int64 limits", R"({"WindowX":9223372036854775807,"WindowY":-9223372036854775808})", true,
       Int64Max, Int64Min, ""},
      {"beyond int64", R"({"WindowX":9223372036854775808,"WindowY":-9223372036854775809})", true,
       Int64Max, Int64Min, ""},
      {"negative fractions", R"({"WindowX":-0.9,"WindowY":-120.9})", true, 0, -120, ""},
      {"beyond a double", R"({"WindowX":1e400})", false, 0, 0, "DATA"},
      {"folder of another type", R"({"WindowX":5,"Preferences":7})", true, 5, 0, ""},
      {"invalid UTF-8 in the folder", "{\"Preferences\":\"/a\xFF/\"}", true, 0, 0,
       "/a\xEF\xBF\xBD/"},
      {"surrogate halves in the folder", "{\"Preferences\":\"/" GRINNING_HALVES "/\"}", true, 0, 0,
       "/" GRINNING "/"},
      {"file at the size cap", Padded(JsonMaxFileBytes), true, 5, 0, ""},
      {"file above the size cap", Padded(JsonMaxFileBytes + 1), false, 0, 0, "DATA"},
      {"binary garbage", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18), false, 0, 0,
       "DATA"},
      {"nested 64 deep", R"({"WindowX":5,"a":)" + std::string(63, '[') + std::string(63, ']') + "}",
       true, 5, 0, ""},
      {"nested 65 deep", R"({"WindowX":5,"a":)" + std::string(64, '[') + std::string(64, ']') + "}",
       false, 0, 0, "DATA"},
      {"nested without end", "{\"a\":" + std::string(200000, '['), false, 0, 0, "DATA"},
  };
  for (const LoadCase& c : cases) {
    std::remove(PreferencesFile().c_str());
    if (c.file) {
      ASSERT_TRUE(WriteTestFile(PreferencesFile(), *c.file)) << c.what;
    }
    AppSettings = AppData{7, 8, 9, 10, data_folder_, "stale"};

    EXPECT_EQ(LoadPreferences(), c.read) << c.what;
    EXPECT_EQ(AppSettings.WindowX, c.x) << c.what;
    EXPECT_EQ(AppSettings.WindowY, c.y) << c.what;
    EXPECT_EQ(AppSettings.WindowW, 730) << c.what;
    EXPECT_EQ(AppSettings.WindowH, 195) << c.what;
    EXPECT_EQ(AppSettings.Preferences, c.preferences == "DATA" ? data_folder_ : c.preferences)
        << c.what;
    EXPECT_EQ(AppSettings.MainStation, "ormelund-radio") << c.what;
  }
}

TEST_F(PreferencesTest, SaveThenLoadRoundTrip) {
  // A folder whose name needs escaping and holds a character beyond U+FFFF.
  const std::string folder = data_folder_ + "\"q\\u\xC3\xA9 " GRINNING "\t/";
  ASSERT_TRUE(CreateFolderPath(folder, -1));
  AppSettings = AppData{-1234, 5678, 1, 2, folder, "ormelund-radio"};
  ASSERT_TRUE(SavePreferences());

  const std::optional<std::string> bytes = ReadTestFile(folder + "preferences.json");
  ASSERT_TRUE(bytes);
  EXPECT_NE(bytes->find(GRINNING), std::string::npos);
  EXPECT_EQ(bytes->find("\xED"), std::string::npos);  // no surrogate halves

  AppSettings = AppData{0, 0, 0, 0, folder, ""};
  EXPECT_TRUE(LoadPreferences());
  EXPECT_EQ(AppSettings.WindowX, -1234);
  EXPECT_EQ(AppSettings.WindowY, 5678);
  EXPECT_EQ(AppSettings.WindowW, 730);
  EXPECT_EQ(AppSettings.WindowH, 195);
  EXPECT_EQ(AppSettings.Preferences, folder);
  EXPECT_EQ(AppSettings.MainStation, "ormelund-radio");
}

TEST_F(PreferencesTest, OldTwoHalvesFileReadsBackAsOneCharacter) {
  const std::string folder = data_folder_ + "old" GRINNING "/";
  ASSERT_TRUE(CreateFolderPath(folder, -1));
  // The old form: the character as two three-byte halves.
  std::string old = ExampleFile(data_folder_ + "old" GRINNING_HALVES "/");
  ASSERT_TRUE(WriteTestFile(PreferencesFile(), old));
  EXPECT_TRUE(LoadPreferences());
  EXPECT_EQ(AppSettings.Preferences, folder);
  EXPECT_EQ(AppSettings.WindowX, 100);
  // The next save goes to that folder, in standard UTF-8.
  ASSERT_TRUE(SavePreferences());
  EXPECT_EQ(ReadTestFile(folder + "preferences.json"), ExampleFile(folder));
}

TEST_F(PreferencesTest, FailedSaveLeavesTheOldFile) {
  const std::string old = ExampleFile(data_folder_);
  const struct {
    const char* what;
    mode_t folder_mode;
    std::function<bool()> prepare;  // runs in the child before the save
  } faults[] = {
      {"folder not writable", 0555,
       [] {
         // Root may write anywhere: take an ordinary user's rights.
         if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
         return true;
       }},
      {"disk full", 0755,
       [] {
         signal(SIGXFSZ, SIG_IGN);
         const rlimit limit = {16, 16};
         return setrlimit(RLIMIT_FSIZE, &limit) == 0;
       }},
  };
  // Every level readable by everyone, so that the ordinary user can reach the data folder.
  for (const std::string& level : {temp_.path(), config_, config_ + "/qmr"}) {
    ASSERT_EQ(chmod(level.c_str(), 0755), 0);
  }
  for (const auto& fault : faults) {
    ASSERT_EQ(chmod(data_folder_.c_str(), 0755), 0);
    ASSERT_TRUE(WriteTestFile(PreferencesFile(), old));
    ASSERT_EQ(chmod(data_folder_.c_str(), fault.folder_mode), 0);

    AppSettings = ExampleSettings(data_folder_);
    AppSettings.WindowX = 999;
    const std::optional<bool> saved = RunInChild(fault.prepare, [] { return SavePreferences(); });
    ASSERT_TRUE(saved) << fault.what;
    EXPECT_FALSE(*saved) << fault.what;
    EXPECT_EQ(ReadTestFile(PreferencesFile()), old) << fault.what;
    EXPECT_EQ(FolderListing(data_folder_), "preferences.json\n") << fault.what;
  }
}

TEST_F(PreferencesTest, SaveIntoMissingFolderFails) {
  AppSettings = ExampleSettings(temp_.path() + "/gone/");
  EXPECT_FALSE(SavePreferences());
  EXPECT_FALSE(IsFolder(temp_.path() + "/gone"));
}

}  // namespace
