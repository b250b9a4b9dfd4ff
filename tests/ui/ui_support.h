// Helpers for tests that drive real windows.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <string>

// The fonts, window 1 and the now-playing canvas with its handler, as start-up makes them.
void OpenNowPlayingCanvas();
// The whole start-up up to the main loop, at the given DPI, with the preferences of
// $XDG_CONFIG_HOME; `x`, `y` (units) replace the stored position when not negative.
void StartPlayerWindow(double dpi, int64_t x = -1, int64_t y = -1);

// Dispatches events for about `ms` milliseconds.
void PumpEvents(int ms);
// Dispatches events until `done` holds or `ms` passed; returns done().
bool PumpUntil(const std::function<bool()>& done, int ms);
// The X window id of window 1.
unsigned long MainWindowXid();
// The window's picture as the screen shows it (0xBBGGRR at x, y of the window's inner area).
struct WindowPicture {
  GdkPixbuf* pixbuf = nullptr;
  uint32_t At(int x, int y) const;
  ~WindowPicture();
};
void TakeWindowPicture(WindowPicture* picture);
// Runs a shell command; returns its exit status. The program's events wait meanwhile.
int Shell(const std::string& command);
// Runs a shell command while dispatching the program's events, as a user's input arrives while
// the program runs; returns its exit status.
int ShellWhilePumping(const std::string& command);
// A fresh empty folder under /tmp, removed by RemoveFolder. A death test's child, which runs the
// test again from its start, gets the parent's folder: ShareFolderWithChildren passes it on.
std::string MakeTempFolder();
void ShareFolderWithChildren(const std::string& folder);
void RemoveFolder(const std::string& path);
