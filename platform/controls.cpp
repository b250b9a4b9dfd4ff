#include "platform/controls.h"

#include <gtk/gtk.h>

#include "platform/events.h"
#include "platform/internal.h"
#include "platform/platform.h"

std::map<int, LabelEntry> Labels;
std::map<int, CanvasEntry> Canvases;

// Controls always go into the player's one window.
constexpr int ParentWindow = 1;

bool ControlExists(int control) {
  return Labels.count(control) || Canvases.count(control) || WebViews.count(control);
}

bool CreateLabel(int control, int64_t x, int64_t y, int64_t width, int64_t height,
                 const std::string& text, bool center_vertically) {
  WindowEntry* parent = ControlParent(ParentWindow);
  if (!parent || ControlExists(control)) return false;
  LabelEntry label;
  label.window = ParentWindow;
  label.x = static_cast<int>(UnitsToPixelsX(x));
  label.y = static_cast<int>(UnitsToPixelsY(y));
  label.width = static_cast<int>(UnitsToPixelsX(width));
  label.height = static_cast<int>(UnitsToPixelsY(height));
  label.text = text;
  label.center_vertically = center_vertically;
  Labels[control] = label;
  gtk_widget_queue_draw(parent->window);
  return true;
}

void SetControlColor(int control, int which, uint32_t bgr) {
  auto found = Labels.find(control);
  if (found == Labels.end()) return;
  if (which == ColorText) found->second.text_color = bgr;
  if (which == ColorBackground) {
    found->second.background = bgr;
    found->second.has_background = true;
  }
  if (WindowEntry* parent = ControlParent(found->second.window))
    gtk_widget_queue_draw(parent->window);
}

static int CanvasNumber(GtkWidget* area) {
  for (auto& [number, canvas] : Canvases)
    if (canvas.area == area) return number;
  return 0;
}

static void Report(int control, int64_t type) {
  DispatchControlEvent(Canvases[control].window, control, type, 0);
}

static gboolean OnCanvasDraw(GtkWidget* area, cairo_t* cr, gpointer) {
  auto found = Canvases.find(CanvasNumber(area));
  if (found == Canvases.end()) return FALSE;
  cairo_set_source_surface(cr, found->second.buffer, 0, 0);
  cairo_paint(cr);
  return TRUE;
}

static gboolean OnCanvasCrossing(GtkWidget* area, GdkEventCrossing* event, gpointer) {
  int control = CanvasNumber(area);
  if (!control) return FALSE;
  CanvasEntry& canvas = Canvases[control];
  if (event->type == GDK_ENTER_NOTIFY && !canvas.inside) {
    canvas.inside = true;
    Report(control, MouseEnter);
  } else if (event->type == GDK_LEAVE_NOTIFY && canvas.inside) {
    canvas.inside = false;
    Report(control, MouseLeave);
  }
  return TRUE;
}

static gboolean OnCanvasMotion(GtkWidget* area, GdkEventMotion*, gpointer) {
  int control = CanvasNumber(area);
  if (!control) return FALSE;
  CanvasEntry& canvas = Canvases[control];
  if (!canvas.inside) {
    canvas.inside = true;
    Report(control, MouseEnter);
  } else {
    Report(control, MouseMove);
  }
  return TRUE;
}

static bool Over(GtkWidget* area, const GdkEventButton* event) {
  return event->x >= 0 && event->y >= 0 && event->x < gtk_widget_get_allocated_width(area) &&
         event->y < gtk_widget_get_allocated_height(area);
}

static gboolean OnCanvasButton(GtkWidget* area, GdkEventButton* event, gpointer) {
  int control = CanvasNumber(area);
  if (!control) return FALSE;
  CanvasEntry& canvas = Canvases[control];
  bool left = event->button == 1, right = event->button == 3, middle = event->button == 2;
  switch (event->type) {
    case GDK_BUTTON_PRESS:
      if (left) canvas.left_pressed = true;
      if (right) canvas.right_pressed = true;
      if (left || right || middle)
        Report(control, left ? LeftButtonDown : right ? RightButtonDown : MiddleButtonDown);
      break;
    case GDK_2BUTTON_PRESS:
      if (left || right) Report(control, left ? LeftDoubleClick : RightDoubleClick);
      break;
    case GDK_BUTTON_RELEASE:
      if (left || right || middle)
        Report(control, left ? LeftButtonUp : right ? RightButtonUp : MiddleButtonUp);
      if (left && canvas.left_pressed && Over(area, event)) Report(control, LeftClick);
      if (right && canvas.right_pressed && Over(area, event)) Report(control, RightClick);
      if (left) canvas.left_pressed = false;
      if (right) canvas.right_pressed = false;
      break;
    default:
      break;
  }
  return TRUE;
}

static gboolean OnCanvasScroll(GtkWidget* area, GdkEventScroll*, gpointer) {
  int control = CanvasNumber(area);
  if (control) Report(control, MouseWheel);
  return TRUE;
}

bool CreateCanvas(int control, int64_t x, int64_t y, int64_t width, int64_t height) {
  WindowEntry* parent = ControlParent(ParentWindow);
  if (!parent || ControlExists(control)) return false;
  CanvasEntry canvas;
  canvas.window = ParentWindow;
  int pixel_width = static_cast<int>(UnitsToPixelsX(width));
  int pixel_height = static_cast<int>(UnitsToPixelsY(height));
  canvas.buffer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixel_width, pixel_height);
  cairo_t* cr = cairo_create(canvas.buffer);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_destroy(cr);
  canvas.area = gtk_drawing_area_new();
  gtk_widget_add_events(canvas.area, GDK_POINTER_MOTION_MASK | GDK_ENTER_NOTIFY_MASK |
                                         GDK_LEAVE_NOTIFY_MASK | GDK_BUTTON_PRESS_MASK |
                                         GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK);
  g_signal_connect(canvas.area, "draw", G_CALLBACK(OnCanvasDraw), nullptr);
  g_signal_connect(canvas.area, "enter-notify-event", G_CALLBACK(OnCanvasCrossing), nullptr);
  g_signal_connect(canvas.area, "leave-notify-event", G_CALLBACK(OnCanvasCrossing), nullptr);
  g_signal_connect(canvas.area, "motion-notify-event", G_CALLBACK(OnCanvasMotion), nullptr);
  g_signal_connect(canvas.area, "button-press-event", G_CALLBACK(OnCanvasButton), nullptr);
  g_signal_connect(canvas.area, "button-release-event", G_CALLBACK(OnCanvasButton), nullptr);
  g_signal_connect(canvas.area, "scroll-event", G_CALLBACK(OnCanvasScroll), nullptr);
  Canvases[control] = canvas;
  PlaceControl(parent, canvas.area, static_cast<int>(UnitsToPixelsX(x)),
               static_cast<int>(UnitsToPixelsY(y)), pixel_width, pixel_height);
  return true;
}

void GetControlPixelSize(int control, int* width, int* height) {
  *width = *height = 0;
  if (auto found = Labels.find(control); found != Labels.end()) {
    *width = found->second.width;
    *height = found->second.height;
  } else if (auto canvas = Canvases.find(control); canvas != Canvases.end()) {
    *width = cairo_image_surface_get_width(canvas->second.buffer);
    *height = cairo_image_surface_get_height(canvas->second.buffer);
  } else if (auto view = WebViews.find(control); view != WebViews.end()) {
    gtk_widget_get_size_request(view->second, width, height);
  }
}
