// Controls of a window: labels, canvases and the web view, named by small integers.
//
// Labels are painted by the window itself (background box, then text in the desktop's message
// font), so a press on a label reaches the window's message hook as a press on the window.
// Canvases keep a pixel buffer of their own size (white when made), repaint from it, and report
// mouse events to their handler with the types in events.h.
#pragma once

#include <cstdint>
#include <string>

constexpr int ColorText = 1;
constexpr int ColorBackground = 2;

bool ControlExists(int control);

// All geometry in units; controls go into window 1 (the player's only window).
bool CreateLabel(int control, int64_t x, int64_t y, int64_t width, int64_t height,
                 const std::string& text, bool center_vertically);
bool CreateCanvas(int control, int64_t x, int64_t y, int64_t width, int64_t height);
void SetControlColor(int control, int which, uint32_t bgr);

// Pixel size of a control (canvas buffer size for canvases).
void GetControlPixelSize(int control, int* width, int* height);
