// Helpers for tests that drive real windows.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <string>

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
// Runs a shell command; returns its exit status.
int Shell(const std::string& command);
// A fresh empty folder under /tmp, removed by RemoveFolder.
std::string MakeTempFolder();
void RemoveFolder(const std::string& path);
