// The stream watchdog in the real engine against the local station: it changes nothing on the
// page, brings a stream back that was cut or froze or was missing at the start, keeps the
// listener's volume across a reload, and leaves a listener's pause alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ids.h"
#include "platform/platform.h"
#include "platform/webview.h"
#include "player/stream_watchdog.h"
#include "player_support.h"
#include "ui_support.h"

namespace {

// The play/pause button of the engine's control bar, in the main window.
constexpr int PlayPauseX = 170 + 27;
constexpr int PlayPauseY = 154 + 18;

// Counts, in the page, the loads of the audio element's source and the ends of its playback from
// now on.
void CountEvents() {
  PageValue(
      "if (!window.counts) ['loadstart', 'ended'].forEach(function (name) { "
      "audio.addEventListener(name, function () { counts[name]++; }); }); "
      "window.counts = {loadstart: 0, ended: 0}; true");
}

// Playback advances over the next second.
bool Advancing() {
  double before = PageNumber("audio.currentTime");
  PumpEvents(1000);
  return PageValue("audio.paused") == "false" && PageNumber("audio.currentTime") > before + 0.5;
}

bool PlaysWithin(int ms) {
  for (int waited = 0; waited < ms; waited += 1000)
    if (Advancing()) return true;
  return false;
}

class StreamWatchdogTest : public LocalStationTest {
 protected:
  void TearDown() override {
    CloseAllWindows();
    StopFreezeRelay(&relay_);
    if (stream_stopped_) StationCommand(station, "stream-start");
  }
  static bool Open(bool watchdog, int port) {
    return OpenPlayerWindow(watchdog) && SetWebViewHtml(WebPlayer, PlayerPageOnPort(port));
  }
  // Waits for the page's first playback; counts events from then on.
  static bool PlaysAtTheStart() {
    bool plays = PlaysWithin(15000);
    CountEvents();
    return plays;
  }
  bool Stream(bool on) {
    stream_stopped_ = !on;
    return StationCommand(station, on ? "stream-start" : "stream-stop");
  }
  bool stream_stopped_ = false;
  FreezeRelay relay_;
};

TEST_F(StreamWatchdogTest, ChangesNothingOnThePage) {
  const std::string snapshot =
      "JSON.stringify([document.documentElement.outerHTML, "
      "Object.getOwnPropertyNames(window).sort(), audio.volume, audio.paused])";
  ASSERT_TRUE(Open(false, station.stream_port));
  ASSERT_TRUE(PlaysWithin(15000));
  std::string without = PageValue(snapshot);
  InstallStreamWatchdog(WebPlayer);
  ASSERT_TRUE(SetWebViewHtml(WebPlayer, PlayerPageOnPort(station.stream_port)));
  ASSERT_TRUE(PlaysWithin(15000));
  EXPECT_EQ(PageValue(snapshot), without);
}

TEST_F(StreamWatchdogTest, KeepsTheListenersVolumeThroughAnOutage) {
  ASSERT_TRUE(Open(true, station.stream_port));
  ASSERT_TRUE(PlaysAtTheStart());
  PageValue("subtractVolume(); subtractVolume(); true");
  PumpEvents(500);
  double volume = PageNumber("audio.volume");
  EXPECT_NEAR(volume, 0.3, 1e-3);
  ASSERT_TRUE(Stream(false));
  // The watchdog tries again while the stream is away.
  EXPECT_TRUE(PageBecomes("counts.ended >= 1 && counts.loadstart >= 1", 15000));
  ASSERT_TRUE(Stream(true));
  EXPECT_TRUE(PlaysWithin(12000));
  EXPECT_NEAR(PageNumber("audio.volume"), volume, 1e-3);
  PageValue("addVolume(); true");
  PumpEvents(500);
  EXPECT_NEAR(PageNumber("audio.volume"), volume + 0.1, 1e-3);
}

TEST_F(StreamWatchdogTest, LeavesTheListenersPauseThroughAnOutage) {
  ASSERT_TRUE(Open(true, station.stream_port));
  ASSERT_TRUE(PlaysAtTheStart());
  ASSERT_TRUE(ClickWindow(PlayPauseX, PlayPauseY, 1));
  ASSERT_TRUE(PageBecomes("audio.paused", 3000));
  ASSERT_TRUE(Stream(false));
  PumpEvents(3000);
  ASSERT_TRUE(Stream(true));
  // Long enough for the watchdog to have reloaded a stream standing still.
  PumpEvents(10000);
  EXPECT_EQ(PageValue("audio.paused"), "true");
  EXPECT_EQ(PageValue("counts.loadstart"), "0");
  // The listener's play: the sound comes back, through the watchdog if the stream died meanwhile.
  ASSERT_TRUE(ClickWindow(PlayPauseX, PlayPauseY, 1));
  EXPECT_TRUE(PlaysWithin(12000));
}

TEST_F(StreamWatchdogTest, LoadsAFrozenStreamAgain) {
  ASSERT_TRUE(StartFreezeRelay(station.stream_port, &relay_));
  ASSERT_TRUE(Open(true, relay_.port));
  ASSERT_TRUE(PlaysAtTheStart());
  FreezeRelayConnections(relay_);
  // The stream stops without an event: playback stands still and has not ended.
  bool stopped = false;
  for (int waited = 0; waited < 15000 && !stopped; waited += 1000) stopped = !Advancing();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(PageValue("counts.ended"), "0");
  EXPECT_TRUE(PageBecomes("counts.loadstart >= 1", 12000));
  EXPECT_TRUE(PlaysWithin(10000));
  EXPECT_NEAR(PageNumber("audio.volume"), 0.5, 1e-5);
  // The reload asked for the page's own address, query and all.
  std::vector<std::string> requests = RelayRequests(relay_);
  ASSERT_GE(requests.size(), 2u);
  for (const std::string& request : requests)
    EXPECT_EQ(request, "GET /192kbps/;?type=http&nocache=7 HTTP/1.1");
}

TEST_F(StreamWatchdogTest, PlaysOnceAStreamMissingAtTheStartComes) {
  ASSERT_TRUE(Stream(false));
  ASSERT_TRUE(Open(true, station.stream_port));
  PumpEvents(3000);
  EXPECT_FALSE(Advancing());
  ASSERT_TRUE(Stream(true));
  EXPECT_TRUE(PlaysWithin(12000));
  EXPECT_NEAR(PageNumber("audio.volume"), 0.5, 1e-5);
}

}  // namespace
