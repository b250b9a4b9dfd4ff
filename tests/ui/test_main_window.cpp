// The main window as the screen shows it: layout, colours, DPI scaling, refused close requests,
// recorded moves and the start-up failure path.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/app.h"
#include "app/ids.h"
#include "platform/controls.h"
#include "platform/dialog.h"
#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "settings/preferences.h"
#include "ui_support.h"

namespace {

constexpr uint32_t Dark = 0x212121;
constexpr uint32_t Grey = 0x484a4c;
constexpr uint32_t White = 0xffffff;

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder();
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  }
  void TearDown() override {
    CloseAllWindows();
    PlatformSetDpi(96, 96);
    RemoveFolder(folder_);
  }
  void Start(double dpi) { StartPlayerWindow(dpi); }
  std::string folder_;
};

TEST_F(MainWindowTest, PictureAt96DpiMatchesTheLayout) {
  Start(96);
  WindowPicture picture;
  TakeWindowPicture(&picture);
  ASSERT_NE(picture.pixbuf, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(picture.pixbuf), 730);
  EXPECT_EQ(gdk_pixbuf_get_height(picture.pixbuf), 195);
  struct Point {
    int x, y;
    uint32_t colour;
    const char* what;
  };
  const Point points[] = {
      {0, 0, Dark, "column 0, top"},
      {0, 24, Dark, "column 0, title bar"},
      {0, 194, Dark, "column 0, bottom"},
      {1, 1, Grey, "title label, left end"},
      {600, 2, Grey, "title label"},
      {629, 24, Grey, "title label, right end"},
      {632, 2, Grey, "minimise button at rest"},
      {630 + 18, 13, White, "minimise dash, left end"},
      {630 + 27, 13, White, "minimise dash, right end"},
      {630 + 28, 13, Grey, "beyond the dash"},
      {676, 12, Grey, "gap, left"},
      {683, 12, Grey, "gap, right"},
      {684, 0, Grey, "close button at rest"},
      {684 + 18, 8, White, "cross, top left"},
      {684 + 27, 17, White, "cross, bottom right"},
      {684 + 27, 8, White, "cross, top right"},
      {684 + 22, 8, Grey, "inside the cross"},
      {729, 24, Grey, "close button, right column"},
      {1, 25, Grey, "left frame, top"},
      {1, 194, Grey, "left frame, bottom"},
      {729, 100, Grey, "right frame"},
      {400, 194, Grey, "bottom frame"},
      {728, 194, Grey, "bottom frame, right end"},
      {2, 100, Dark, "inside the left frame"},
      {100, 25, Dark, "below the title bar"},
      {168, 100, Dark, "between logo and panel"},
      {700, 40, 0x000000, "now-playing panel background"},
  };
  for (const Point& point : points)
    EXPECT_EQ(picture.At(point.x, point.y), point.colour) << point.what;
  // The title text is drawn in its own colour somewhere on the label.
  bool title_text = false;
  for (int x = 1; x < 200 && !title_text; ++x)
    for (int y = 0; y < 25 && !title_text; ++y) title_text = picture.At(x, y) == 0xeaeaea;
  EXPECT_TRUE(title_text);
}

TEST_F(MainWindowTest, At144DpiControlsGrowWithTheScale) {
  Start(144);
  WindowGeometry geometry = GetWindowGeometry(MainWindow);
  EXPECT_EQ(geometry.width, 730);
  EXPECT_EQ(geometry.height, 195);
  int width = 0, height = 0;
  gtk_window_get_size(GTK_WINDOW(Windows[MainWindow].window), &width, &height);
  EXPECT_EQ(width, 1095);
  EXPECT_EQ(height, 293);
  GetControlPixelSize(CanvasClose, &width, &height);
  EXPECT_EQ(width, 69);
  EXPECT_EQ(height, 38);
  GtkAllocation allocation;
  gtk_widget_get_allocation(Canvases[CanvasClose].area, &allocation);
  EXPECT_EQ(allocation.x, 1026);
  EXPECT_EQ(allocation.y, 0);
}

TEST_F(MainWindowTest, CloseRequestFromTheWindowManagerIsRefused) {
  Start(96);
  ASSERT_EQ(Shell("wmctrl -i -c " + std::to_string(MainWindowXid())), 0);
  PumpEvents(1000);
  ASSERT_TRUE(WindowExists(MainWindow));
  EXPECT_TRUE(gtk_widget_get_visible(Windows[MainWindow].window));
  EXPECT_NE(MainWindowXid(), 0u);
}

TEST_F(MainWindowTest, MovesAreRecordedInTheSettings) {
  Start(96);
  ASSERT_EQ(Shell("xdotool windowmove " + std::to_string(MainWindowXid()) + " 300 200"), 0);
  EXPECT_TRUE(
      PumpUntil([] { return AppSettings.WindowX == 300 && AppSettings.WindowY == 200; }, 5000))
      << AppSettings.WindowX << "," << AppSettings.WindowY;
  EXPECT_EQ(AppSettings.WindowW, 730);
  EXPECT_EQ(AppSettings.WindowH, 195);
}

TEST_F(MainWindowTest, OpensWhereThePreferencesSay) {
  std::string data_folder = folder_ + "/qmr/Ormelund-Radio/";
  std::filesystem::create_directories(data_folder);
  FILE* file = std::fopen((data_folder + "preferences.json").c_str(), "w");
  std::fprintf(file,
               "{\"WindowX\": 240, \"WindowY\": 130, \"WindowW\": 100, \"Preferences\": \"%s\"}",
               data_folder.c_str());
  std::fclose(file);
  Start(96);
  int x = 0, y = 0, width = 0, height = 0;
  gtk_window_get_position(GTK_WINDOW(Windows[MainWindow].window), &x, &y);
  gtk_window_get_size(GTK_WINDOW(Windows[MainWindow].window), &width, &height);
  EXPECT_EQ(x, 240);
  EXPECT_EQ(y, 130);
  EXPECT_EQ(width, 730);
  EXPECT_EQ(height, 195);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(Windows[MainWindow].window)),
               "Ormelund-Radioormelund-radio");
}

bool ReportBox(const std::string& title, const std::string& text) {
  std::fprintf(stderr, "box title=[%s] text=[%s]\n", title.c_str(), text.c_str());
  return true;
}

TEST_F(MainWindowTest, WindowThatCannotOpenShowsTheBoxAndExitsZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ShareFolderWithChildren(folder_);
  EXPECT_EXIT(
      {
        SetMessageBoxObserver(ReportBox);
        FailNextWindowOpen();
        RunMainWindow();
      },
      testing::ExitedWithCode(0),
      "box title=\\[Info\\] text=\\[Could not open main window.\r\rApp terminated!\\]");
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/qmr/Ormelund-Radio/preferences.json"));
}

}  // namespace
