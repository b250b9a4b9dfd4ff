// The fuzz entries: arbitrary bytes through the player's parsers, with the rules that must hold.
#include "fuzz_targets.h"

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

#include "../support/song_records.h"
#include "platform/json.h"
#include "platform/text.h"
#include "settings/preferences.h"
#include "station/lfm.h"

namespace {

// ---- texts ----

// The bytes as a text of the player: every part between zero bytes decoded as UTF-8.
std::string AsText(std::string_view bytes) {
  std::string text;
  size_t at = 0;
  for (;;) {
    const size_t zero = bytes.find('\0', at);
    text += DecodeUtf8(bytes.substr(at, zero == std::string_view::npos ? zero : zero - at));
    if (zero == std::string_view::npos) return text;
    text.push_back('\0');
    at = zero + 1;
  }
}

bool IsUtf8(const std::string& text) {
  return AsText(text) == text;
}

// ---- service timestamps ----

// The date value that the timestamp rules give for `text`, worked out independently of the
// mask parser: the first 19 characters must read Y-M-D h:m:s with runs of 1-4 and 1-2 digits and
// name a real date and time from 1970 on.
int64_t ExpectedDate(std::string_view text) {
  // A character is at least one byte, so the first 19 characters cover at least the first 19
  // bytes; any byte above ASCII among them is part of the prefix and matches no digit or separator.
  const std::string prefix(text.substr(0, 19));
  for (const char c : prefix)
    if (static_cast<unsigned char>(c) >= 0x80) return -1;
  static const std::regex Pattern(
      R"(^(\d{1,4})-(\d{1,2})-(\d{1,2}) (\d{1,2}):(\d{1,2}):(\d{1,2})$)");
  std::smatch m;
  if (!std::regex_match(prefix, m, Pattern)) return -1;
  std::array<int, 6> f;
  for (size_t i = 0; i < f.size(); ++i) f[i] = std::stoi(m[i + 1].str());
  const int year = f[0], month = f[1], day = f[2];
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int month_days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > month_days[month - 1] ||
      f[3] > 23 || f[4] > 59 || f[5] > 59)
    return -1;
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = f[3];
  fields.tm_min = f[4];
  fields.tm_sec = f[5];
  return static_cast<int64_t>(timegm(&fields));
}

std::string Printable(std::string_view bytes) {
  std::string out;
  for (const char c : bytes.substr(0, 80)) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F && c != '\\') {
      out.push_back(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      out += hex;
    }
  }
  return out;
}

// ---- preferences ----

// A private folder for the preferences file, removed when the process ends normally.
struct PrivateFolder {
  std::string path;  // ends with '/'
  PrivateFolder() {
    const char* temp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(temp && temp[0] == '/' ? temp : "/tmp") + "/fuzz-prefs-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern + "/";
  }
  ~PrivateFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

const std::string& PreferencesFolder() {
  static const PrivateFolder folder;
  return folder.path;
}

bool WriteFile(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::string CheckLoadedPreferences(std::string_view bytes) {
  const std::string folder = PreferencesFolder();
  if (!WriteFile(folder + "preferences.json", bytes)) return "cannot write the test file";
  AppSettings = AppData{7, 8, 9, 10, folder, "stale"};
  const bool read = LoadPreferences();

  if (AppSettings.WindowW != 730 || AppSettings.WindowH != 195 ||
      AppSettings.MainStation != "ormelund-radio")
    return "the fixed size or station were not set";
  JsonValue document;
  const bool json = bytes.size() <= JsonMaxFileBytes && ParseJson(bytes, &document);
  if (read != json) return read ? "read a file that is not JSON" : "refused a JSON file";
  if (!read) {
    if (AppSettings.WindowX != 0 || AppSettings.WindowY != 0) return "position not reset";
    if (AppSettings.Preferences != folder) return "the data folder was lost";
    return "";
  }
  if (!IsUtf8(AppSettings.Preferences)) return "the folder is not UTF-8";

  // What was loaded survives a save and a load unchanged, and the saved text is JSON.
  const AppData loaded = AppSettings;
  const std::string text = FormatPreferences(loaded);
  if (!ParseJson(text, &document) || document.members.size() != 6)
    return "the saved text is not a JSON object of six members";
  if (!WriteFile(folder + "preferences.json", text)) return "cannot write the test file";
  AppSettings = AppData{1, 2, 3, 4, folder, "stale"};
  if (!LoadPreferences()) return "the saved text does not load";
  if (AppSettings.WindowX != loaded.WindowX || AppSettings.WindowY != loaded.WindowY ||
      AppSettings.Preferences != loaded.Preferences)
    return "a save and a load changed the values";
  if (FormatPreferences(AppSettings) != text) return "the saved text is not stable";
  return "";
}

}  // namespace

std::string FuzzParseApiDate(std::string_view bytes) {
  // The parser gets texts, never raw bytes: a song's times as the record holds them (UTF-8 from
  // the JSON reader, zero characters possible), and the clock's answer body decoded up to its
  // first zero byte with its quotes removed, as FetchServerTime does.
  const std::string inputs[] = {AsText(bytes), RemoveText(DecodeUtf8(bytes), "\"")};
  for (const std::string& text : inputs) {
    const int64_t value = ParseApiDate(text);
    const int64_t expected = ExpectedDate(text);
    if (value != expected)
      return "ParseApiDate(\"" + Printable(text) + "\") gave " + std::to_string(value) +
             ", expected " + std::to_string(expected);
  }
  return "";
}

std::string FuzzCurrentSong(std::string_view bytes) {
  // The client's reading of an answer body: HttpGetJson's parse, then the filling.
  JsonValue document;
  if (!ParseJson(bytes, &document)) {
    if (document.type != JsonType::Null) return "a refused document is not left empty";
    return "";
  }
  LFM::api_current_song record = OldSong();
  FillCurrentSong(document, &record);

  for (const std::string* text :
       {&record.type, &record.title, &record.album, &record.genre, &record.created_at,
        &record.artist.name, &record.artist.url, &record.artist.laut_url, &record.artist.image,
        &record.artist.thumb, &record.started_at, &record.ends_at})
    if (!IsUtf8(*text)) return "a text is not UTF-8";
  LFM::api_current_song fresh;
  FillCurrentSong(document, &fresh);
  if (SongJson(record) != SongJson(fresh)) return "the old content survived the filling";
  if (document.type != JsonType::Object && SongJson(record) != SongJson({}))
    return "a document that is no object filled the record";

  // The record, written back as an answer, reads back the same.
  const std::string answer = SongJson(record);
  JsonValue again;
  if (!ParseJson(answer, &again)) return "the record written as JSON does not parse";
  LFM::api_current_song reread;
  FillCurrentSong(again, &reread);
  if (SongJson(reread) != answer) return "the record does not read back the same";
  return "";
}

std::string FuzzPreferences(std::string_view bytes) {
  const AppData saved = AppSettings;
  const std::string failure = CheckLoadedPreferences(bytes);
  AppSettings = saved;
  return failure;
}
