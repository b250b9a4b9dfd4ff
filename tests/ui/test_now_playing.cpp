// The now-playing panel and its countdown, drawn into the real canvas and read back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/ids.h"
#include "panels/now_playing.h"
#include "platform/controls.h"
#include "platform/draw.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "station/lfm.h"
#include "station/tracker.h"
#include "ui_support.h"

namespace {

constexpr uint32_t Black = 0x000000;
constexpr uint32_t Heading = 0x876C61;
constexpr uint32_t Text = 0xA0867C;

class NowPlayingTest : public testing::Test {
 protected:
  void Open(double dpi) {
    PlatformSetDpi(dpi, dpi);
    OpenNowPlayingCanvas();
    StreamDelay = 42;
    CurrentSong = {};
  }
  void SetUp() override { Open(96); }
  void TearDown() override {
    CloseAllWindows();
    PlatformSetDpi(96, 96);
    CurrentSong = {};
  }
  static void Redraw(intptr_t data) {
    DispatchControlEventNow(MainWindow, CanvasNowPlaying, EventTypeRedraw, data);
  }
  static uint32_t At(int x, int y) { return SurfacePixel(CanvasSurface(CanvasNowPlaying), x, y); }
  // Whether any pixel of the box has exactly this colour (cores of glyph strokes do).
  static bool Has(int x0, int y0, int x1, int y1, uint32_t colour) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        if (At(x, y) == colour) return true;
    return false;
  }
  static bool Blank(int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        if (At(x, y) != Black) return false;
    return true;
  }
  static std::vector<unsigned char> Buffer() {
    cairo_surface_t* surface = CanvasSurface(CanvasNowPlaying);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    return {data, data + cairo_image_surface_get_stride(surface) *
                             cairo_image_surface_get_height(surface)};
  }
};

TEST_F(NowPlayingTest, StartUpEventShowsThePlaceholders) {
  Redraw(0);
  EXPECT_TRUE(Has(15, 5, 120, 22, Heading)) << "heading";
  EXPECT_TRUE(Blank(0, 0, 14, 129)) << "nothing left of x 15";
  EXPECT_TRUE(Has(15, 25, 90, 48, Text)) << "Artist label";
  EXPECT_TRUE(Has(105, 25, 260, 48, Text)) << "Artistenname";
  EXPECT_TRUE(Has(105, 60, 200, 78, Text)) << "Titelname";
  EXPECT_TRUE(Has(105, 80, 200, 98, Text)) << "Albumname";
  EXPECT_TRUE(Has(15, 100, 90, 118, Text)) << "Time Left";
  EXPECT_TRUE(Blank(105, 100, 558, 129)) << "no countdown value drawn by the panel";
  EXPECT_EQ(At(558, 129), Black);
}

TEST_F(NowPlayingTest, ValuesStartAtColumn105AndAnEmptyAlbumLeavesOnlyItsLabel) {
  CurrentSong.artist.name = "Hedda";
  CurrentSong.title = "Lux";
  CurrentSong.album = "";
  Redraw(reinterpret_cast<intptr_t>(&CurrentSong));
  EXPECT_TRUE(Blank(101, 25, 104, 129)) << "gap between colons and values";
  EXPECT_TRUE(Has(105, 25, 112, 48, Text)) << "artist value begins at x 105";
  EXPECT_TRUE(Has(105, 60, 112, 78, Text)) << "title value begins at x 105";
  EXPECT_TRUE(Has(15, 80, 90, 98, Text)) << "Album label";
  EXPECT_FALSE(Blank(95, 80, 100, 98)) << "Album colon";
  EXPECT_TRUE(Blank(101, 80, 558, 99)) << "no album value";
}

TEST_F(NowPlayingTest, LongValuesRunToTheEdgeOnOneLine) {
  CurrentSong.title = std::string(300, 'W');
  Redraw(reinterpret_cast<intptr_t>(&CurrentSong));
  EXPECT_TRUE(Has(540, 60, 558, 78, Text)) << "cut at the canvas edge";
  EXPECT_TRUE(Blank(101, 80, 558, 99)) << "no second line";
}

TEST_F(NowPlayingTest, OtherEventsChangeNothing) {
  Redraw(0);
  std::vector<unsigned char> before = Buffer();
  CurrentSong.title = "Other";
  for (int64_t type : {LeftButtonDown, LeftClick, MouseEnter, MouseWheel, int64_t{767}})
    DispatchControlEventNow(MainWindow, CanvasNowPlaying, type,
                            reinterpret_cast<intptr_t>(&CurrentSong));
  EXPECT_EQ(Buffer(), before);
}

TEST_F(NowPlayingTest, CountdownErasesALongerValueWithoutTrace) {
  CurrentSong.ends_at = "2026-12-11 10:00:00";
  int64_t end = ParseApiDate(CurrentSong.ends_at) + 42;
  Redraw(reinterpret_cast<intptr_t>(&CurrentSong));
  DrawTimeLeft(end - 59);
  std::vector<unsigned char> short_only = Buffer();
  EXPECT_TRUE(Has(105, 101, 200, 118, Text));

  Redraw(reinterpret_cast<intptr_t>(&CurrentSong));
  DrawTimeLeft(end - 3600);  // 1 : 00 : 00
  EXPECT_NE(Buffer(), short_only);
  DrawTimeLeft(end - 59);  // 00 : 59
  EXPECT_EQ(Buffer(), short_only);
}

TEST_F(NowPlayingTest, CountdownDrawsZeroButNotNegativeAndIgnoresAnUnknownClock) {
  CurrentSong.ends_at = "2026-12-11 10:00:00";
  int64_t end = ParseApiDate(CurrentSong.ends_at) + 42;
  Redraw(reinterpret_cast<intptr_t>(&CurrentSong));
  DrawTimeLeft(end);
  std::vector<unsigned char> zero = Buffer();
  EXPECT_TRUE(Has(105, 101, 200, 118, Text)) << "00 : 00 is drawn";
  DrawTimeLeft(end + 1);
  EXPECT_EQ(Buffer(), zero) << "one second past the end draws nothing";
  DrawTimeLeft(-1);
  EXPECT_EQ(Buffer(), zero) << "an unknown clock leaves the row";
}

TEST_F(NowPlayingTest, BeforeAnySongTheRowStaysEmpty) {
  Redraw(0);
  DrawTimeLeft(ParseApiDate("2026-12-11 10:00:00"));
  EXPECT_TRUE(Blank(105, 100, 558, 129));
}

// Height in rows of the text drawn in a band of rows.
int InkHeight(int x0, int x1, int y0, int y1) {
  int top = -1, bottom = -1;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (SurfacePixel(CanvasSurface(CanvasNowPlaying), x, y) != 0) {
        if (top < 0) top = y;
        bottom = y;
      }
  return top < 0 ? 0 : bottom - top + 1;
}

TEST_F(NowPlayingTest, At144DpiPositionsStayInPixelsWhileFontsGrow) {
  Redraw(0);
  int height_96 = InkHeight(15, 90, 25, 59);
  CloseAllWindows();
  Open(144);
  int width = 0, height = 0;
  GetControlPixelSize(CanvasNowPlaying, &width, &height);
  EXPECT_EQ(width, 839);
  EXPECT_EQ(height, 195);
  Redraw(0);
  EXPECT_TRUE(Blank(0, 0, 14, 194)) << "labels still start at x 15";
  EXPECT_TRUE(Has(15, 25, 120, 59, Text));
  EXPECT_GT(InkHeight(15, 120, 25, 59), height_96 * 5 / 4);
}

}  // namespace
