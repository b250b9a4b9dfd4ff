#include "platform/platform.h"

#include <gtk/gtk.h>

#include <cmath>
#include <cstdlib>

#include "platform/imaging.h"
#include "platform/internal.h"
#include "platform/net.h"

static double DpiX = 96;
static double DpiY = 96;

bool PlatformStart() {
  // Drawing inside canvases is in device pixels; the layer scales geometry itself.
  setenv("GDK_SCALE", "1", 1);
  setenv("GDK_DPI_SCALE", "1", 1);
  // X11 first: only there can a window be placed where the user left it.
  gdk_set_allowed_backends("x11,*");
  g_set_prgname("ormelund-radio");
  g_set_application_name("Ormelund-Radio");
  // WM_CLASS's class, which the desktop entry's StartupWMClass names. GTK's argument parsing
  // replaces a class set before it with the capitalised program name ("Ormelund-radio"), and
  // opening the display gives the class to the first window; so between the two.
  if (!gtk_parse_args(nullptr, nullptr)) return false;
  gdk_set_program_class("Ormelund-Radio");
  if (!gtk_init_check(nullptr, nullptr)) return false;
  double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
  if (dpi <= 0) dpi = 96;
  DpiX = DpiY = dpi;
  InitImaging();
  InitNetworking();
  return true;
}

void CloseAllWindows() {
  DestroyWebViews();
  for (auto& [number, entry] : Windows) {
    if (entry.last_press) gdk_event_free(entry.last_press);
    if (entry.geometry_check) g_source_remove(entry.geometry_check);
    gtk_widget_destroy(entry.window);
  }
  Windows.clear();
  Labels.clear();
  for (auto& [number, canvas] : Canvases) cairo_surface_destroy(canvas.buffer);
  Canvases.clear();
  FreeDrawingResources();
}

[[noreturn]] void PlatformCloseDown() {
  CloseAllWindows();
  CloseNetworking();
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  exit(0);
}

double PlatformDpiX() {
  return DpiX;
}
double PlatformDpiY() {
  return DpiY;
}

void PlatformSetDpi(double dpi_x, double dpi_y) {
  DpiX = dpi_x;
  DpiY = dpi_y;
}

static int64_t ScaleAwayFromZero(int64_t value, double dpi) {
  return static_cast<int64_t>(std::llround(static_cast<double>(value) * dpi / 96.0));
}

static int64_t ScaleHalfUp(int64_t value, double dpi) {
  return static_cast<int64_t>(std::floor(static_cast<double>(value) * 96.0 / dpi + 0.5));
}

int64_t UnitsToPixelsX(int64_t units) {
  return ScaleAwayFromZero(units, DpiX);
}
int64_t UnitsToPixelsY(int64_t units) {
  return ScaleAwayFromZero(units, DpiY);
}
int64_t PixelsToUnitsX(int64_t pixels) {
  return ScaleHalfUp(pixels, DpiX);
}
int64_t PixelsToUnitsY(int64_t pixels) {
  return ScaleHalfUp(pixels, DpiY);
}

int FontPixelHeight(double points) {
  return static_cast<int>(std::lround(points * DpiY / 72.0));
}
