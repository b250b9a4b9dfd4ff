// Drawing: numbered fonts and images, and drawing on a canvas or an image.
//
// Drawing is in device pixels from the surface's top-left corner and is never scaled. Between
// BeginDrawing/BeginImageDrawing and EndDrawing every operation goes to that one surface.
// Colours are 0xBBGGRR.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

// Fonts: the family list puts `face` first with a close free humanist sans after it; the pixel
// size is FontPixelHeight(points).
bool LoadFont(int number, const std::string& face, double points);

// Images: cairo ARGB32 surfaces; a new image is opaque black.
bool CreateImage(int number, int width, int height);
bool ImageExists(int number);
void FreeImage(int number);
// Replaces the image by a smooth (filtered) resampling of itself; nothing when there is none.
void ResizeImage(int number, int width, int height);
cairo_surface_t* ImageSurface(int number);  // nullptr when the number names no image

bool BeginDrawing(int control);      // canvas
bool BeginImageDrawing(int number);  // image
int DrawingWidth();
int DrawingHeight();
cairo_t* DrawingContext();  // the surface being drawn on, for copying pictures onto it
void FillBox(int64_t x, int64_t y, int64_t width, int64_t height, uint32_t bgr);
// A one-pixel line, both end points included.
void DrawLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t bgr);
void SelectFont(int number);
void SetTransparentText();
// Text with its cell's top-left corner at x, y; an empty text draws nothing.
void DrawText(int64_t x, int64_t y, const std::string& text, uint32_t bgr);
void DrawImage(int number, int64_t x, int64_t y, int opacity);
void EndDrawing();

// Test seam: the canvas's pixel buffer (nullptr when no canvas has that number).
cairo_surface_t* CanvasSurface(int control);
// Reads one pixel of a surface as 0xBBGGRR (alpha dropped).
uint32_t SurfacePixel(cairo_surface_t* surface, int x, int y);
