// Tables shared by the files of the platform layer; not for the program's own code.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <map>
#include <string>

#include "platform/events.h"
#include "platform/window.h"

struct WindowEntry {
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;  // holds the controls; paints the background and the labels
  uint32_t background = 0xffffff;
  MessageHook hook = nullptr;
  int x = 0, y = 0, width = 0, height = 0;  // last known geometry, pixels
  int placed_x = 0, placed_y = 0;           // where the program put the window, pixels
  bool iconified = false;
  guint geometry_check = 0;        // pending read of the geometry after configure events
  GdkEvent* last_press = nullptr;  // the press a window move starts from
};

struct LabelEntry {
  int window = 0;
  int x = 0, y = 0, width = 0, height = 0;  // pixels
  std::string text;
  uint32_t text_color = 0x000000;
  uint32_t background = 0;
  bool has_background = false;
  bool center_vertically = false;
};

struct CanvasEntry {
  int window = 0;
  GtkWidget* area = nullptr;
  cairo_surface_t* buffer = nullptr;
  bool inside = false;
  bool left_pressed = false;
  bool right_pressed = false;
};

extern std::map<int, WindowEntry> Windows;
extern std::map<int, LabelEntry> Labels;
extern std::map<int, CanvasEntry> Canvases;
extern std::map<int, GtkWidget*> WebViews;

// The window the controls go into.
WindowEntry* ControlParent(int window);
// Places a control widget into its window at a position and size in pixels.
void PlaceControl(WindowEntry* parent, GtkWidget* widget, int x, int y, int width, int height);

// Runs a window's handler for an event (moved, sized, close request); false when none is bound.
bool DispatchWindowEvent(int window, int event);
// Runs the control's handler with the given event as the current event.
void DispatchControlEvent(int window, int control, int64_t type, intptr_t data);

// 0xBBGGRR to cairo's red, green and blue.
void SetSourceColor(cairo_t* cr, uint32_t bgr);
// Font description of the desktop's message font, owned by the layer.
const PangoFontDescription* MessageFont();

void DestroyWebViews();
void FreeDrawingResources();
