// The one kind of window the player has: an undecorated top-level window with its own taskbar
// entry, opened hidden, painted in a background colour, placed and read back in units.
#pragma once

#include <cstdint>
#include <string>

// Message codes the window's message hook sees.
constexpr int MessageLeftButtonDown = 513;

// hook(window, message, wparam, lparam): true lets the platform go on with its own handling.
using MessageHook = bool (*)(int window, int message, intptr_t wparam, intptr_t lparam);

// Opens window `number` hidden at x, y with an inner size of width x height (all units).
// Returns false when the window cannot be opened.
bool OpenWindow(int number, int64_t x, int64_t y, int64_t width, int64_t height,
                const std::string& title);
bool WindowExists(int number);
void SetWindowColor(int number, uint32_t bgr);
int64_t WindowInnerWidth(int number);  // units

// Outer frame's left/top edges and inner size, in units.
struct WindowGeometry {
  int64_t x = 0, y = 0, width = 0, height = 0;
};
WindowGeometry GetWindowGeometry(int number);

void ShowWindow(int number);  // normal state, activated
void MinimizeWindow(int number);
void SetWindowHook(MessageHook hook, int number);

// Pointer position in the window's inner area in device pixels; -1, -1 when outside it.
void GetPointerPosition(int number, int64_t* x, int64_t* y);
// Hands the pressed left button to the window manager as a press on a caption: the window follows
// the pointer until the button is released.
void BeginWindowMove(int number);

// Window icon list (taskbar and switcher), from pictures in memory in any format gdk-pixbuf reads.
void SetWindowIcons(int number, const unsigned char* const* pictures, const size_t* sizes,
                    int count);

// Test seam: the next OpenWindow fails.
void FailNextWindowOpen();
