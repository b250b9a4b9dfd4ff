// preferences.json under hostile conditions: something else in place of the file, a full disk and
// a program killed in the middle of saving. The file that was there must never be lost.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/json.h"
#include "settings/preferences.h"
#include "temp_folder.h"

namespace {

// The settings saved at step k: every step writes a different text of its own.
AppData Step(int64_t k, const std::string& folder) {
  return AppData{k, -k, 730, 195, folder, "ormelund-radio"};
}

// Runs `body` in a child process, which reports the first rule it found broken ("" when none, or
// "skip: why" when the machine cannot set up the fault). A child that dies or hangs for longer
// than `seconds` is a failure too.
std::string InChild(const std::function<std::string()>& body, unsigned seconds = 20) {
  int channel[2];
  if (pipe(channel) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid < 0) return "no fork";
  if (pid == 0) {
    close(channel[0]);
    alarm(seconds);
    const std::string result = body();
    if (write(channel[1], result.data(), result.size()) < 0) _exit(3);
    _exit(0);
  }
  close(channel[1]);
  std::string result;
  char buffer[256];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    result.append(buffer, static_cast<size_t>(n));
  }
  close(channel[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "the child ended abnormally (status " + std::to_string(status) + ")";
  return result;
}

class PreferencesFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    folder_ = temp_.path() + "/";
    saved_ = AppSettings;
  }
  void TearDown() override { AppSettings = saved_; }
  std::string File() const { return folder_ + "preferences.json"; }

  TempFolder temp_;
  std::string folder_;
  AppData saved_;
};

TEST_F(PreferencesFaultTest, AFolderOrAPipeInPlaceOfTheFileIsUnreadableAndNoCrash) {
  struct Case {
    const char* what;
    std::function<bool(const std::string&)> make;
    bool save_replaces;  // a pipe holds no data: the save puts the file in its place
  } cases[] = {
      {"a folder",
       [](const std::string& path) {
         return mkdir(path.c_str(), 0700) == 0 && WriteTestFile(path + "/inside", "keep");
       },
       false},
      {"a named pipe without a writer",
       [](const std::string& path) { return mkfifo(path.c_str(), 0600) == 0; }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(File());
    ASSERT_TRUE(c.make(File()));
    const std::string result = InChild([&] {
      AppSettings = AppData{7, 8, 9, 10, folder_, "stale"};
      if (LoadPreferences()) return std::string("read");
      if (AppSettings.WindowX != 0 || AppSettings.WindowY != 0 ||
          AppSettings.Preferences != folder_)
        return std::string("not treated as unreadable");
      AppSettings = Step(5, folder_);
      return std::string(SavePreferences() ? "saved" : "not saved");
    });
    EXPECT_EQ(result, c.save_replaces ? "saved" : "not saved");
    if (c.save_replaces) {
      // Opening a pipe would wait for a writer: look first.
      ASSERT_TRUE(std::filesystem::is_regular_file(File()));
      EXPECT_EQ(ReadTestFile(File()), FormatPreferences(Step(5, folder_)));
    } else {
      EXPECT_EQ(ReadTestFile(File() + "/inside"), "keep");
      EXPECT_EQ(FolderListing(folder_), "preferences.json\n") << "a temporary file was left";
    }
  }
}

// A full disk of its own: a 64 KiB tmpfs, mounted in a private mount namespace of the child so that
// nobody else sees it and it vanishes with the child.
TEST_F(PreferencesFaultTest, AFullDiskKeepsTheOldFileUntilThereIsRoomAgain) {
  const std::string result = InChild([&]() -> std::string {
    if (unshare(CLONE_NEWNS) != 0) return "skip: no private mount namespace (needs root)";
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return "skip: mounts cannot be made private";
    if (mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
      return "skip: no tmpfs";
    const std::string data = folder_ + "qmr/Ormelund-Radio/";
    if (!CreateFolderPath(data, -1)) return "no data folder on the tmpfs";
    AppSettings = Step(1, data);
    if (!SavePreferences()) return "the first save failed";
    const std::string old = FormatPreferences(AppSettings);

    // Fill every page that is left.
    std::FILE* filler = std::fopen((folder_ + "filler").c_str(), "wb");
    if (filler == nullptr) return "no filler file";
    const std::string block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
    }
    std::fclose(filler);

    AppSettings = Step(2, data);
    if (SavePreferences()) return "a save on a full disk claimed success";
    if (ReadTestFile(data + "preferences.json") != old) return "the old file changed";
    if (FolderListing(data) != "preferences.json\n") return "a temporary file was left";
    AppSettings = Step(99, data);
    if (!LoadPreferences() || AppSettings.WindowX != 1) return "the old file no longer loads";

    // Room again: the next save goes through.
    std::remove((folder_ + "filler").c_str());
    AppSettings = Step(3, data);
    if (!SavePreferences()) return "no save after room was made";
    if (ReadTestFile(data + "preferences.json") != FormatPreferences(Step(3, data)))
      return "the new file is not complete";
    return "";
  });
  if (result.starts_with("skip: ")) GTEST_SKIP() << result.substr(6);
  EXPECT_EQ(result, "");
}

// A saving program killed at random moments, again and again: after every kill the file is a
// complete text that some save wrote, never older than the one before.
TEST_F(PreferencesFaultTest, KillingTheProgramWhileItSavesNeverLosesTheFile) {
  constexpr int Kills = 250;
  int64_t last = 0;
  AppSettings = Step(last, folder_);
  ASSERT_TRUE(SavePreferences());

  // Kill within a few saves' time, so that the moments fall everywhere inside a save.
  const auto started = std::chrono::steady_clock::now();
  for (int i = 1; i <= 5; ++i) {
    AppSettings = Step(-i, folder_);
    ASSERT_TRUE(SavePreferences());
  }
  AppSettings = Step(last, folder_);
  ASSERT_TRUE(SavePreferences());
  const auto save_us = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::steady_clock::now() - started)
                           .count() /
                       6;
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed) + ", one save " + std::to_string(save_us) + " us");
  std::mt19937 random(seed);
  std::uniform_int_distribution<int64_t> delay_us(0, 4 * save_us + 500);

  int advanced = 0;
  for (int kill_number = 0; kill_number < Kills; ++kill_number) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int64_t k = last + 1;; ++k) {
        AppSettings = Step(k, folder_);
        SavePreferences();
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);

    const std::optional<std::string> text = ReadTestFile(File());
    ASSERT_TRUE(text) << "the file is gone after kill " << kill_number;
    JsonValue document;
    ASSERT_TRUE(ParseJson(*text, &document)) << "kill " << kill_number << " left:\n" << *text;
    const JsonValue* x = FindMember(document, "WindowX");
    ASSERT_TRUE(x != nullptr && x->type == JsonType::Integer) << *text;
    ASSERT_EQ(*text, FormatPreferences(Step(x->integer, folder_))) << "kill " << kill_number;
    ASSERT_GE(x->integer, last) << "the file went back to an older save";
    if (x->integer > last) ++advanced;
    last = x->integer;
  }
  // The kills really fell while saves were under way (a killed save leaves its temporary file).
  int temporaries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_))
    if (entry.path().filename().string().starts_with("preferences.json.")) ++temporaries;
  std::printf("%d kills: the file advanced %d times, %d temporary files left by killed saves\n",
              Kills, advanced, temporaries);
  EXPECT_GT(advanced, Kills / 10);
  EXPECT_GT(temporaries, 0);
}

}  // namespace
