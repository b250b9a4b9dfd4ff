#include "platform/window.h"

#include <gtk/gtk.h>

#include "platform/internal.h"
#include "platform/platform.h"

std::map<int, WindowEntry> Windows;

static bool WindowOpenFails = false;

static WindowEntry* FindWindow(int number) {
  auto found = Windows.find(number);
  return found == Windows.end() ? nullptr : &found->second;
}

static int NumberOf(GtkWidget* widget) {
  for (auto& [number, entry] : Windows)
    if (entry.window == widget) return number;
  return 0;
}

// The window's background and its labels, under the control widgets.
static gboolean OnFixedDraw(GtkWidget* fixed, cairo_t* cr, gpointer number_pointer) {
  int number = GPOINTER_TO_INT(number_pointer);
  WindowEntry* entry = FindWindow(number);
  if (!entry) return FALSE;
  SetSourceColor(cr, entry->background);
  cairo_paint(cr);
  for (auto& [control, label] : Labels) {
    if (label.window != number) continue;
    cairo_save(cr);
    cairo_rectangle(cr, label.x, label.y, label.width, label.height);
    cairo_clip(cr);
    if (label.has_background) {
      SetSourceColor(cr, label.background);
      cairo_paint(cr);
    }
    if (!label.text.empty()) {
      PangoLayout* layout = gtk_widget_create_pango_layout(fixed, label.text.c_str());
      pango_layout_set_font_description(layout, MessageFont());
      int text_width = 0, text_height = 0;
      pango_layout_get_pixel_size(layout, &text_width, &text_height);
      int y = label.y;
      if (label.center_vertically) y += (label.height - text_height) / 2;
      SetSourceColor(cr, label.text_color);
      cairo_move_to(cr, label.x, y);
      pango_cairo_show_layout(cr, layout);
      g_object_unref(layout);
    }
    cairo_restore(cr);
  }
  return FALSE;
}

// Reports a changed position or size to the window's handlers.
static void CheckGeometry(int number) {
  WindowEntry* entry = FindWindow(number);
  if (!entry) return;
  int x = 0, y = 0, width = 0, height = 0;
  gtk_window_get_position(GTK_WINDOW(entry->window), &x, &y);
  gtk_window_get_size(GTK_WINDOW(entry->window), &width, &height);
  bool moved = x != entry->x || y != entry->y;
  bool sized = width != entry->width || height != entry->height;
  entry->x = x;
  entry->y = y;
  entry->width = width;
  entry->height = height;
  if (moved) DispatchWindowEvent(number, EventWindowMoved);
  if (sized && !entry->iconified) DispatchWindowEvent(number, EventWindowSized);
}

static gboolean OnGeometrySettled(gpointer number) {
  if (WindowEntry* entry = FindWindow(GPOINTER_TO_INT(number))) entry->geometry_check = 0;
  CheckGeometry(GPOINTER_TO_INT(number));
  return G_SOURCE_REMOVE;
}

// While a window manager reparents a new window, asking for its position right away can still
// give the parent-relative 0, 0; so the geometry is read once the configure events have settled.
static gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure*, gpointer) {
  int number = NumberOf(widget);
  WindowEntry* entry = FindWindow(number);
  if (entry && !entry->geometry_check)
    entry->geometry_check = g_idle_add(OnGeometrySettled, GINT_TO_POINTER(number));
  return FALSE;
}

static gboolean OnWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer) {
  if (WindowEntry* entry = FindWindow(NumberOf(widget)))
    entry->iconified = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
  return FALSE;
}

// The position a mapped window reports is settled: a good moment to take it.
static gboolean OnMapped(GtkWidget* widget, GdkEvent*, gpointer) {
  CheckGeometry(NumberOf(widget));
  return FALSE;
}

// Close requests from outside are refused: only the program's own close button ends it.
static gboolean OnDelete(GtkWidget* widget, GdkEvent*, gpointer) {
  DispatchWindowEvent(NumberOf(widget), EventCloseRequest);
  return TRUE;
}

static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer) {
  int number = NumberOf(widget);
  WindowEntry* entry = FindWindow(number);
  // Presses on canvases and on the web view belong to them; the hook sees presses on the window
  // itself, which includes its painted labels.
  if (!entry || event->window != gtk_widget_get_window(widget)) return FALSE;
  if (entry->last_press) gdk_event_free(entry->last_press);
  entry->last_press = gdk_event_copy(reinterpret_cast<GdkEvent*>(event));
  if (entry->hook && event->type == GDK_BUTTON_PRESS) {
    int message = event->button == 1 ? MessageLeftButtonDown : event->button == 3 ? 516 : 519;
    entry->hook(number, message, 0, 0);
  }
  return FALSE;
}

bool OpenWindow(int number, int64_t x, int64_t y, int64_t width, int64_t height,
                const std::string& title) {
  if (WindowOpenFails || FindWindow(number)) {
    WindowOpenFails = false;
    return false;
  }
  WindowEntry entry;
  entry.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(entry.window);
  gtk_window_set_title(window, title.c_str());
  gtk_window_set_decorated(window, FALSE);
  entry.width = static_cast<int>(UnitsToPixelsX(width));
  entry.height = static_cast<int>(UnitsToPixelsY(height));
  entry.x = static_cast<int>(UnitsToPixelsX(x));
  entry.y = static_cast<int>(UnitsToPixelsY(y));
  entry.placed_x = entry.x;
  entry.placed_y = entry.y;
  entry.fixed = gtk_fixed_new();
  gtk_widget_set_size_request(entry.fixed, entry.width, entry.height);
  gtk_container_add(GTK_CONTAINER(window), entry.fixed);
  // A fixed size that the window manager keeps, whatever natural size a child asks for, and a
  // position that it honours as the user's own choice rather than placing the window itself.
  gtk_window_set_default_size(window, entry.width, entry.height);
  GdkGeometry hints = {};
  hints.min_width = hints.max_width = entry.width;
  hints.min_height = hints.max_height = entry.height;
  gtk_window_set_geometry_hints(
      window, nullptr, &hints,
      static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE | GDK_HINT_USER_POS));
  gtk_window_move(window, entry.x, entry.y);
  gtk_widget_add_events(entry.window, GDK_BUTTON_PRESS_MASK | GDK_STRUCTURE_MASK);
  g_signal_connect(entry.fixed, "draw", G_CALLBACK(OnFixedDraw), GINT_TO_POINTER(number));
  g_signal_connect(entry.window, "configure-event", G_CALLBACK(OnConfigure), nullptr);
  g_signal_connect(entry.window, "window-state-event", G_CALLBACK(OnWindowState), nullptr);
  g_signal_connect(entry.window, "delete-event", G_CALLBACK(OnDelete), nullptr);
  g_signal_connect(entry.window, "map-event", G_CALLBACK(OnMapped), nullptr);
  g_signal_connect(entry.window, "button-press-event", G_CALLBACK(OnButtonPress), nullptr);
  gtk_widget_show(entry.fixed);
  Windows[number] = entry;
  return true;
}

bool WindowExists(int number) {
  return FindWindow(number) != nullptr;
}

void SetWindowColor(int number, uint32_t bgr) {
  if (WindowEntry* entry = FindWindow(number)) {
    entry->background = bgr;
    gtk_widget_queue_draw(entry->window);
  }
}

int64_t WindowInnerWidth(int number) {
  WindowEntry* entry = FindWindow(number);
  return entry ? PixelsToUnitsX(entry->width) : 0;
}

WindowGeometry GetWindowGeometry(int number) {
  WindowGeometry geometry;
  WindowEntry* entry = FindWindow(number);
  if (!entry) return geometry;
  int x = entry->x, y = entry->y, width = entry->width, height = entry->height;
  if (gtk_widget_get_realized(entry->window)) {
    gtk_window_get_position(GTK_WINDOW(entry->window), &x, &y);
    gtk_window_get_size(GTK_WINDOW(entry->window), &width, &height);
  }
  geometry.x = PixelsToUnitsX(x);
  geometry.y = PixelsToUnitsY(y);
  geometry.width = PixelsToUnitsX(width);
  geometry.height = PixelsToUnitsY(height);
  return geometry;
}

void ShowWindow(int number) {
  if (WindowEntry* entry = FindWindow(number)) {
    gtk_window_move(GTK_WINDOW(entry->window), entry->placed_x, entry->placed_y);
    gtk_window_present(GTK_WINDOW(entry->window));
  }
}

void MinimizeWindow(int number) {
  if (WindowEntry* entry = FindWindow(number)) gtk_window_iconify(GTK_WINDOW(entry->window));
}

void SetWindowHook(MessageHook hook, int number) {
  if (WindowEntry* entry = FindWindow(number)) entry->hook = hook;
}

void GetPointerPosition(int number, int64_t* x, int64_t* y) {
  *x = *y = -1;
  WindowEntry* entry = FindWindow(number);
  GdkWindow* gdk_window = entry ? gtk_widget_get_window(entry->window) : nullptr;
  if (!gdk_window) return;
  GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(gdk_window));
  int px = 0, py = 0;
  gdk_window_get_device_position(gdk_window, gdk_seat_get_pointer(seat), &px, &py, nullptr);
  if (px < 0 || py < 0 || px >= entry->width || py >= entry->height) return;
  *x = px;
  *y = py;
}

void BeginWindowMove(int number) {
  WindowEntry* entry = FindWindow(number);
  if (!entry || !entry->last_press) return;
  const GdkEventButton* press = &entry->last_press->button;
  gtk_window_begin_move_drag(GTK_WINDOW(entry->window), static_cast<int>(press->button),
                             static_cast<int>(press->x_root), static_cast<int>(press->y_root),
                             press->time);
}

void SetWindowIcons(int number, const unsigned char* const* pictures, const size_t* sizes,
                    int count) {
  WindowEntry* entry = FindWindow(number);
  if (!entry) return;
  GList* icons = nullptr;
  for (int i = 0; i < count; ++i) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    if (gdk_pixbuf_loader_write(loader, pictures[i], sizes[i], nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
      if (GdkPixbuf* icon = gdk_pixbuf_loader_get_pixbuf(loader))
        icons = g_list_append(icons, g_object_ref(icon));
    } else {
      gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
  }
  if (icons) gtk_window_set_icon_list(GTK_WINDOW(entry->window), icons);
  g_list_free_full(icons, g_object_unref);
}

void FailNextWindowOpen() {
  WindowOpenFails = true;
}

WindowEntry* ControlParent(int window) {
  return FindWindow(window);
}

void PlaceControl(WindowEntry* parent, GtkWidget* widget, int x, int y, int width, int height) {
  gtk_widget_set_size_request(widget, width, height);
  gtk_fixed_put(GTK_FIXED(parent->fixed), widget, x, y);
  gtk_widget_show(widget);
}
