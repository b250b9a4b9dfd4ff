// The settings record, the data folder and the preferences file.
//
// AppSettings holds the main window's position and size, the data folder (in the field
// Preferences, ending with '/') and the station identifier. At start-up SetUpDataFolder and
// LoadPreferences fill it; OnWindowMoveSize keeps the geometry current; SavePreferences writes it
// back when the user closes the player. Only the position and the folder carry over between runs:
// the size and the station identifier are reset at every start.
#pragma once

#include <cstdint>
#include <string>

struct AppData {
  int64_t WindowX = 0;      // outer frame's left edge, units
  int64_t WindowY = 0;      // outer frame's top edge, units
  int64_t WindowW = 0;      // inner width, units
  int64_t WindowH = 0;      // inner height, units
  std::string Preferences;  // folder of preferences.json, ending with '/'
  std::string MainStation;  // station identifier
};

extern AppData AppSettings;

// Sets AppSettings.Preferences to the user's config folder + "qmr/Ormelund-Radio/" (relative
// when the config folder is unknown) and creates it with every missing level.
void SetUpDataFolder();

// Creates the folder `path` and every missing folder above it ('/' separators, a trailing '/'
// allowed). `attributes` are permission bits to give the folder afterwards, -1 to leave them.
// True when `path` is an existing folder afterwards.
bool CreateFolderPath(const std::string& path, int64_t attributes);

// Reads Preferences + "preferences.json" into AppSettings (members matched without regard to
// case, the last occurrence counts), then sets the fixed size 730 x 195 and the station
// identifier. On a missing or unreadable file only the position is reset, to 0, 0.
// True when the file was read.
bool LoadPreferences();

// Replaces Preferences + "preferences.json" atomically with FormatPreferences(AppSettings).
// True when the whole file was written; otherwise the old file is left as it was.
bool SavePreferences();

// The exact text of a preferences file: a pretty-printed JSON object with CRLF line ends, names
// aligned to the longest one, in the order WindowW, WindowX, WindowY, Preferences, MainStation,
// WindowH, and no line end after the closing brace. Texts are standard UTF-8.
std::string FormatPreferences(const AppData& data);

// Handler for the main window's move and size events: copies its geometry into AppSettings.
void OnWindowMoveSize();
