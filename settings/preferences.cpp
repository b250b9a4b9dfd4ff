// The settings record, the data folder and the preferences file.
#include "settings/preferences.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "app/ids.h"
#include "platform/files.h"
#include "platform/json.h"
#include "platform/text.h"
#include "platform/window.h"

AppData AppSettings;

namespace {

constexpr std::string_view DataFolderName = "qmr/Ormelund-Radio/";
constexpr std::string_view PreferencesFileName = "preferences.json";
constexpr int64_t FixedWindowW = 730;
constexpr int64_t FixedWindowH = 195;
constexpr std::string_view StationId = "ormelund-radio";

std::string PreferencesPath() {
  return AppSettings.Preferences + std::string(PreferencesFileName);
}

// Standard UTF-8 for the file: invalid bytes become U+FFFD and a character held as two
// surrogate halves becomes one four-byte sequence. Zero bytes are kept (they are escaped).
std::string ValidUtf8(std::string_view text) {
  std::string out;
  size_t at = 0;
  for (;;) {
    const size_t zero = text.find('\0', at);
    out += DecodeUtf8(text.substr(at, zero == std::string_view::npos ? zero : zero - at));
    if (zero == std::string_view::npos) return out;
    out.push_back('\0');
    at = zero + 1;
  }
}

std::string QuotedText(std::string_view text) {
  static constexpr char Hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : ValidUtf8(text)) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out.push_back(Hex[(c >> 4) & 0x0F]);
          out.push_back(Hex[c & 0x0F]);
        } else {
          out.push_back(c);
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace

void SetUpDataFolder() {
  AppSettings.Preferences = UserConfigFolder();
  AppSettings.Preferences += DataFolderName;
  CreateFolderPath(AppSettings.Preferences, -1);
}

bool CreateFolderPath(const std::string& path, int64_t attributes) {
  std::string folder = path;
  if (!folder.empty() && folder.back() == '/') folder.pop_back();
  // A path of only "/" is the root folder.
  if (folder.empty() && !path.empty()) folder = "/";

  std::string accumulated;
  size_t start = 0;
  for (;;) {
    const size_t slash = folder.find('/', start);
    accumulated += folder.substr(start, slash == std::string::npos ? slash : slash - start);
    // An absolute path's first field is empty: there is nothing to make for it.
    if (!accumulated.empty() && !IsFolder(accumulated)) MakeFolder(accumulated);
    if (slash == std::string::npos) break;
    accumulated += '/';
    start = slash + 1;
  }

  if (attributes != -1) chmod(folder.c_str(), static_cast<mode_t>(attributes & 07777));
  return IsFolder(folder);
}

bool LoadPreferences() {
  const std::array<RecordField, 6> fields = {{
      {.name = "WindowX", .integer = &AppSettings.WindowX},
      {.name = "WindowY", .integer = &AppSettings.WindowY},
      {.name = "WindowW", .integer = &AppSettings.WindowW},
      {.name = "WindowH", .integer = &AppSettings.WindowH},
      {.name = "Preferences", .text = &AppSettings.Preferences},
      {.name = "MainStation", .text = &AppSettings.MainStation},
  }};

  JsonValue document;
  const bool read = ReadJsonFile(PreferencesPath(), &document);
  if (read) {
    FillRecord(&document, fields);
  } else {
    AppSettings.WindowX = 0;
    AppSettings.WindowY = 0;
  }
  AppSettings.WindowW = FixedWindowW;
  AppSettings.WindowH = FixedWindowH;
  AppSettings.MainStation = StationId;
  return read;
}

std::string FormatPreferences(const AppData& data) {
  struct Member {
    std::string_view name;
    std::string value;
  };
  const std::array<Member, 6> members = {{
      {"WindowW", std::to_string(data.WindowW)},
      {"WindowX", std::to_string(data.WindowX)},
      {"WindowY", std::to_string(data.WindowY)},
      {"Preferences", QuotedText(data.Preferences)},
      {"MainStation", QuotedText(data.MainStation)},
      {"WindowH", std::to_string(data.WindowH)},
  }};
  size_t longest = 0;
  for (const Member& m : members) longest = std::max(longest, m.name.size());

  std::string text = "{\r\n";
  for (size_t i = 0; i < members.size(); ++i) {
    text += "  \"";
    text += members[i].name;
    text += '"';
    text.append(longest - members[i].name.size(), ' ');
    text += ": ";
    text += members[i].value;
    text += i + 1 < members.size() ? ",\r\n" : "\r\n";
  }
  text += "}";
  return text;
}

bool SavePreferences() {
  return WriteFileAtomically(PreferencesPath(), FormatPreferences(AppSettings));
}

void OnWindowMoveSize() {
  const WindowGeometry geometry = GetWindowGeometry(MainWindow);
  AppSettings.WindowX = geometry.x;
  AppSettings.WindowY = geometry.y;
  AppSettings.WindowW = geometry.width;
  AppSettings.WindowH = geometry.height;
}
