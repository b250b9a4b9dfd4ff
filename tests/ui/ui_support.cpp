// gtest before the X11 headers, whose macros clash with its names.
#include <gtest/gtest.h>

#include "ui_support.h"

#include <gdk/gdkx.h>
#include <cstdlib>
#include <filesystem>

#include "app/app.h"
#include "app/ids.h"
#include "panels/now_playing.h"
#include "platform/controls.h"
#include "platform/draw.h"
#include "platform/events.h"
#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "settings/preferences.h"

void OpenNowPlayingCanvas() {
  LoadFont(FontHeading, "Segoe UI", 11);
  LoadFont(FontText, "Segoe UI", 12);
  LoadFont(FontArtist, "Segoe UI", 14);
  ASSERT_TRUE(OpenWindow(MainWindow, 0, 0, 730, 195, "test"));
  ASSERT_TRUE(CreateCanvas(CanvasNowPlaying, 170, 26, 559, 130));
  BindControl(CanvasNowPlaying, OnNowPlayingEvent);
}

void StartPlayerWindow(double dpi, int64_t x, int64_t y) {
  PlatformSetDpi(dpi, dpi);
  AppSettings = {};
  InitResources();
  if (x >= 0) AppSettings.WindowX = x;
  if (y >= 0) AppSettings.WindowY = y;
  ASSERT_TRUE(CreateMainWindow());
  StartMainWindow();
  ASSERT_TRUE(PumpUntil([] { return MainWindowXid() != 0; }, 5000));
  PumpEvents(500);
}

void PumpEvents(int ms) {
  gint64 end = g_get_monotonic_time() + ms * 1000;
  while (g_get_monotonic_time() < end) WaitEvent(10);
}

bool PumpUntil(const std::function<bool()>& done, int ms) {
  gint64 end = g_get_monotonic_time() + ms * 1000;
  while (!done() && g_get_monotonic_time() < end) WaitEvent(10);
  return done();
}

unsigned long MainWindowXid() {
  GdkWindow* window = gtk_widget_get_window(Windows[1].window);
  return window ? gdk_x11_window_get_xid(window) : 0;
}

uint32_t WindowPicture::At(int x, int y) const {
  int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const guchar* p =
      gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) + x * channels;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16;
}

WindowPicture::~WindowPicture() {
  if (pixbuf) g_object_unref(pixbuf);
}

void TakeWindowPicture(WindowPicture* picture) {
  PumpEvents(300);
  GtkWidget* widget = Windows[1].window;
  GdkWindow* window = gtk_widget_get_window(widget);
  picture->pixbuf = gdk_pixbuf_get_from_window(window, 0, 0, gtk_widget_get_allocated_width(widget),
                                               gtk_widget_get_allocated_height(widget));
}

int Shell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ShellWhilePumping(const std::string& command) {
  const gchar* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  GPid pid = 0;
  if (!g_spawn_async(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                     nullptr, nullptr, &pid, nullptr))
    return -1;
  struct Exit {
    bool done = false;
    int status = 0;
  } exit;
  g_child_watch_add(
      pid,
      [](GPid child, gint status, gpointer data) {
        auto* result = static_cast<Exit*>(data);
        result->done = true;
        result->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        g_spawn_close_pid(child);
      },
      &exit);
  PumpUntil([&] { return exit.done; }, 60000);
  return exit.done ? exit.status : -1;
}

constexpr const char* SharedFolderVariable = "ORMELUND_UI_TEST_FOLDER";

std::string MakeTempFolder() {
  if (const char* shared = getenv(SharedFolderVariable)) return shared;
  char pattern[] = "/tmp/ormelund-test-XXXXXX";
  return mkdtemp(pattern);
}

void ShareFolderWithChildren(const std::string& folder) {
  setenv(SharedFolderVariable, folder.c_str(), 1);
}

void RemoveFolder(const std::string& path) {
  unsetenv("ORMELUND_UI_TEST_FOLDER");
  std::error_code error;
  std::filesystem::remove_all(path, error);
}
