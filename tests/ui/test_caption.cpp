// The title bar with real pointer input: hover pictures, minimise, close on the press, and
// dragging the window by its top strip.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/ids.h"
#include "platform/draw.h"
#include "platform/events.h"
#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "settings/preferences.h"
#include "ui_support.h"

namespace {

constexpr uint32_t Grey = 0x484a4c;
constexpr uint32_t White = 0xffffff;

class CaptionTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder();
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    Shell("xdotool mousemove 1500 900");
  }
  void TearDown() override {
    Shell("xdotool mouseup 1 2>/dev/null; xdotool mousemove 1500 900");
    CloseAllWindows();
    PlatformSetDpi(96, 96);
    RemoveFolder(folder_);
  }
  void Start(double dpi = 96) { StartPlayerWindow(dpi, 100, 100); }
  // Moves the real pointer to a point of the window's inner area, in pixels.
  void PointerTo(int x, int y) {
    int wx = 0, wy = 0;
    gtk_window_get_position(GTK_WINDOW(Windows[MainWindow].window), &wx, &wy);
    ShellWhilePumping("xdotool mousemove " + std::to_string(wx + x) + " " + std::to_string(wy + y));
    PumpEvents(200);
  }
  std::string folder_;
};

std::vector<unsigned char> Pixels(int control) {
  cairo_surface_t* surface = CanvasSurface(control);
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  return {data,
          data + cairo_image_surface_get_stride(surface) * cairo_image_surface_get_height(surface)};
}

TEST_F(CaptionTest, ButtonsLightUpUnderThePointerAndRestWhenItLeaves) {
  Start();
  struct Case {
    int control, x;
    uint32_t hover;
    int glyph_x, glyph_y;
  };
  for (const Case& c :
       {Case{CanvasClose, 684, 0x2311e8, 18, 8}, Case{CanvasMinimize, 630, 0x5b5c5e, 18, 13}}) {
    PointerTo(c.x + 5, 12);
    PointerTo(c.x + 8, 14);
    EXPECT_EQ(SurfacePixel(CanvasSurface(c.control), 1, 1), c.hover) << c.control;
    EXPECT_EQ(SurfacePixel(CanvasSurface(c.control), 45, 24), c.hover) << c.control;
    EXPECT_EQ(SurfacePixel(CanvasSurface(c.control), c.glyph_x, c.glyph_y), White) << c.control;
    PointerTo(400, 100);
    EXPECT_EQ(SurfacePixel(CanvasSurface(c.control), 1, 1), Grey) << c.control;
    EXPECT_EQ(SurfacePixel(CanvasSurface(c.control), c.glyph_x, c.glyph_y), White) << c.control;
  }
}

TEST_F(CaptionTest, OtherButtonsAndTheWheelChangeNothing) {
  Start();
  PointerTo(684 + 10, 12);
  std::vector<unsigned char> before = Pixels(CanvasClose);
  for (const char* action : {"click 3", "click 2", "click 4", "click 5"}) {
    ShellWhilePumping(std::string("xdotool ") + action);
    PumpEvents(200);
    EXPECT_EQ(Pixels(CanvasClose), before) << action;
  }
  EXPECT_TRUE(WindowExists(MainWindow));
}

TEST_F(CaptionTest, MinimiseIconifiesAndTheTimersGoOn) {
  Start();
  static int ticks = 0;
  StartTimer(MainWindow, 124, 100);
  BindTimerEvent([] { ++ticks; }, MainWindow, 124);
  PointerTo(630 + 20, 12);
  ShellWhilePumping("xdotool click 1");
  GdkWindow* window = gtk_widget_get_window(Windows[MainWindow].window);
  ASSERT_TRUE(PumpUntil(
      [&] { return (gdk_window_get_state(window) & GDK_WINDOW_STATE_ICONIFIED) != 0; }, 3000));
  int ticks_then = ticks;
  PumpEvents(600);
  EXPECT_GT(ticks, ticks_then + 2);
}

TEST_F(CaptionTest, CloseSavesAndExitsZeroOnThePressBeforeTheRelease) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string file = folder_ + "/qmr/Ormelund-Radio/preferences.json";
  ShareFolderWithChildren(folder_);
  EXPECT_EXIT(
      {
        Start();
        PointerTo(684 + 20, 12);
        ShellWhilePumping("xdotool mousedown 1");
        PumpEvents(3000);
        std::fputs("still running\n", stderr);
        std::exit(7);
      },
      testing::ExitedWithCode(0), "");
  Shell("xdotool mouseup 1");
  ASSERT_TRUE(std::filesystem::exists(file));
  AppSettings = {};
  AppSettings.Preferences = folder_ + "/qmr/Ormelund-Radio/";
  ASSERT_TRUE(LoadPreferences());
  EXPECT_EQ(AppSettings.WindowX, 100);
  EXPECT_EQ(AppSettings.WindowY, 100);
}

TEST_F(CaptionTest, TheTopStripDragsTheWindowAndNothingElseDoes) {
  Start();
  struct Case {
    int x, y;
    bool moves;
    const char* where;
  };
  const Case cases[] = {
      {300, 20, true, "title label, row 20"},
      {0, 5, true, "column 0"},
      {680, 10, true, "gap between the buttons"},
      {300, 21, false, "title label, row 21"},
      {80, 100, false, "logo"},
      {400, 60, false, "now-playing panel"},
  };
  for (const Case& c : cases) {
    int64_t x0 = AppSettings.WindowX, y0 = AppSettings.WindowY;
    int wx = 0, wy = 0;
    gtk_window_get_position(GTK_WINDOW(Windows[MainWindow].window), &wx, &wy);
    ShellWhilePumping("xdotool mousemove " + std::to_string(wx + c.x) + " " +
                      std::to_string(wy + c.y) + " mousedown 1 sleep 0.2 mousemove " +
                      std::to_string(wx + c.x + 40) + " " + std::to_string(wy + c.y + 30) +
                      " sleep 0.2 mousemove " + std::to_string(wx + c.x + 60) + " " +
                      std::to_string(wy + c.y + 50) + " sleep 0.2 mouseup 1");
    bool moved = PumpUntil([&] { return AppSettings.WindowX != x0 || AppSettings.WindowY != y0; },
                           c.moves ? 3000 : 800);
    EXPECT_EQ(moved, c.moves) << c.where;
    if (c.moves) {
      EXPECT_TRUE(PumpUntil(
          [&] { return AppSettings.WindowX == x0 + 60 && AppSettings.WindowY == y0 + 50; }, 5000))
          << c.where << ": " << AppSettings.WindowX << "," << AppSettings.WindowY;
    }
  }
  ASSERT_TRUE(SavePreferences());
  int64_t saved_x = AppSettings.WindowX;
  AppSettings = {};
  AppSettings.Preferences = folder_ + "/qmr/Ormelund-Radio/";
  ASSERT_TRUE(LoadPreferences());
  EXPECT_EQ(AppSettings.WindowX, saved_x);
}

TEST_F(CaptionTest, At144DpiThePicturesKeepTheirPixelSize) {
  Start(144);
  for (int control : {CanvasClose, CanvasMinimize}) {
    cairo_surface_t* surface = CanvasSurface(control);
    EXPECT_EQ(cairo_image_surface_get_width(surface), 69);
    EXPECT_EQ(cairo_image_surface_get_height(surface), 38);
    EXPECT_EQ(SurfacePixel(surface, 45, 24), Grey);
    EXPECT_EQ(SurfacePixel(surface, 46, 24), White);
    EXPECT_EQ(SurfacePixel(surface, 45, 25), White);
    EXPECT_EQ(SurfacePixel(surface, 68, 37), White);
  }
}

}  // namespace
