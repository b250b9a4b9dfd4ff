// A poll tick on the real now-playing canvas: the countdown it draws is that of the song the same
// tick fetched, and the panel's redraw comes afterwards from the event queue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/service_fixture.h"
#include "app/ids.h"
#include "panels/now_playing.h"
#include "platform/controls.h"
#include "platform/draw.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "settings/preferences.h"
#include "station/tracker.h"
#include "ui_support.h"

namespace {

constexpr int64_t T = 1709210096;  // 2024-02-29 12:34:56

class TrackerCountdownTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    OpenNowPlayingCanvas();
    StreamDelay = 42;
    CurrentSong = {};
    AppSettings.MainStation = "ormelund-radio";
    DispatchControlEventNow(MainWindow, CanvasNowPlaying, EventTypeRedraw, 0);
  }
  void TearDown() override {
    CloseAllWindows();
    CurrentSong = {};
  }
  // The pixels of the countdown row.
  static std::vector<uint32_t> CountdownRow() {
    std::vector<uint32_t> row;
    for (int y = 100; y < 120; ++y)
      for (int x = 105; x < 559; ++x)
        row.push_back(SurfacePixel(CanvasSurface(CanvasNowPlaying), x, y));
    return row;
  }
};

TEST_F(TrackerCountdownTest, TheTickDrawsTheTimeLeftOfTheSongItJustFetched) {
  service->Set("/time", "\"2024-02-29 12:34:56\"");
  // Ends 33 s after the clock: 33 + 42 = 75 s left, "01 : 15".
  service->Set("/station/ormelund-radio/current_song",
               R"({"title": "Lux", "artist": {"name": "Hedda"}, "album": "Nordlicht",
                   "started_at": "2024-02-29 12:31:00", "ends_at": "2024-02-29 12:35:29"})");
  const std::vector<uint32_t> empty_row = CountdownRow();

  OnPollTimer();
  ASSERT_EQ(CurrentSong.title, "Lux");
  const std::vector<uint32_t> after_tick = CountdownRow();
  EXPECT_NE(after_tick, empty_row) << "the tick drew the new song's countdown";

  // The redraw the tick posted arrives afterwards, from the queue, and erases the value; the
  // same value drawn directly then gives the same pixels.
  for (int i = 0; i < 5; ++i) WaitEvent(1);
  EXPECT_EQ(CountdownRow(), empty_row) << "the panel's redraw erases the value";
  DrawTimeLeft(T);
  EXPECT_EQ(CountdownRow(), after_tick);
}

}  // namespace
