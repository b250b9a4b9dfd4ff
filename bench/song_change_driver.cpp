// Runs the real start-up and main loop and writes down, on the system's real-time clock, when
// each poll tick ran and when the now-playing panel drew a new song: the handlers of the poll
// timer and of the panel are wrapped, nothing else changes.
//
// Usage: song_change_driver SECONDS
// Prints, for every tick that took over a new song, one line of tab-separated fields:
//   change <started_at of the song before> <ends_at of the song before> <new title>
//          <tick start> <tick end> <panel drawn> <window painted> <previous tick start>
//          <previous tick end>
// (times in seconds since 1970 with microseconds).
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/ids.h"
#include "panels/now_playing.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "station/tracker.h"

namespace {

struct Change {
  std::string started_at, ends_at, title;
  double tick_start = 0, tick_end = 0, drawn = 0, painted = 0, previous_start = 0, previous_end = 0;
};

std::vector<Change> Changes;
bool AwaitingDraw = false;
bool AwaitingPaint = false;
double LastTickStart = 0;
double LastTickEnd = 0;

double Now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void TimedPollTimer() {
  const LFM::api_current_song before = CurrentSong;
  const double start = Now();
  OnPollTimer();
  const double end = Now();
  if (before.title != CurrentSong.title || before.artist.name != CurrentSong.artist.name ||
      before.album != CurrentSong.album) {
    Changes.push_back({before.started_at, before.ends_at, CurrentSong.title, start, end, 0, 0,
                       LastTickStart, LastTickEnd});
    AwaitingDraw = true;
  }
  LastTickStart = start;
  LastTickEnd = end;
}

void TimedNowPlayingEvent() {
  OnNowPlayingEvent();
  if (AwaitingDraw && CurrentEventType() == EventTypeRedraw &&
      CurrentEventData() == reinterpret_cast<intptr_t>(&CurrentSong)) {
    Changes.back().drawn = Now();
    AwaitingDraw = false;
    AwaitingPaint = true;
  }
}

// The first frame the window paints after the panel drew the new song carries it to the screen.
void OnAfterPaint(GdkFrameClock*, gpointer) {
  if (!AwaitingPaint) return;
  Changes.back().painted = Now();
  AwaitingPaint = false;
}

void WatchPaints() {
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next) {
    GtkWidget* window = GTK_WIDGET(item->data);
    if (!gtk_widget_get_visible(window)) continue;
    if (GdkFrameClock* clock = gtk_widget_get_frame_clock(window))
      g_signal_connect(clock, "after-paint", G_CALLBACK(OnAfterPaint), nullptr);
  }
  g_list_free(windows);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  if (seconds <= 0 || !PlatformStart()) {
    std::fputs("usage: song_change_driver SECONDS (with a display)\n", stderr);
    return 2;
  }
  StreamDelay = 42;
  InitResources();
  if (!CreateMainWindow()) return 1;
  StartMainWindow();
  BindTimerEvent(TimedPollTimer, MainWindow, PollTimer);
  BindControl(CanvasNowPlaying, TimedNowPlayingEvent);
  WatchPaints();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) WaitEvent(-1);
  for (const Change& change : Changes)
    std::printf("change\t%s\t%s\t%s\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\n",
                change.started_at.c_str(), change.ends_at.c_str(), change.title.c_str(),
                change.tick_start, change.tick_end, change.drawn, change.painted,
                change.previous_start, change.previous_end);
  std::fflush(stdout);
  std::_Exit(0);
}
