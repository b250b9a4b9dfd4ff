// Platform start-up, close-down and the unit conversion.
//
// The program names its windows, controls, fonts, images and timers by small integers; the layer
// keeps a table of each kind and owns the GTK widgets, cairo surfaces and pango fonts behind them.
// Geometry is given in units of 1/96 inch; the layer turns it into device pixels with the screen's
// DPI, read once by PlatformStart (x and widths horizontally, y and heights vertically).
//
// Implemented: what the player needs of a desktop toolkit, on GTK 3 (X11 preferred).
// Left out: everything else (menus, keyboard focus, several windows of one kind, resizing frames).
#pragma once

#include <cstdint>

// Starts GTK (GDK scale fixed at 1, X11 backend preferred), the network layer, and reads the DPI.
// Returns false when there is no display to open.
bool PlatformStart();

// Destroys every window with its controls and frees images and fonts (tests start afresh with it).
void CloseAllWindows();

// Frees every window, control, image and font and the network layer, then ends the process with
// exit code 0.
[[noreturn]] void PlatformCloseDown();

// DPI used for the unit conversion; 96 until PlatformStart or PlatformSetDpi ran.
double PlatformDpiX();
double PlatformDpiY();
// Replaces the DPI read from the screen (tests and benchmarks use it before creating anything).
void PlatformSetDpi(double dpi_x, double dpi_y);

// units -> pixels: value x DPI / 96, rounded to nearest, halves away from zero.
int64_t UnitsToPixelsX(int64_t units);
int64_t UnitsToPixelsY(int64_t units);
// pixels -> units: value x 96 / DPI, rounded half up.
int64_t PixelsToUnitsX(int64_t pixels);
int64_t PixelsToUnitsY(int64_t pixels);
// A font's character height in pixels for a size in points, at the vertical DPI.
int FontPixelHeight(double points);
