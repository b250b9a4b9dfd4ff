// Runs the real start-up and main loop and writes down what the GUI thread does: the poll
// timer's and the now-playing panel's handlers are wrapped, and the window's frame clock is
// watched; nothing else changes.
//
// Usage: loop_driver SECONDS
// Prints tab-separated lines, times in seconds (real-time clock since 1970, CPU clocks):
//   tick    <start> <end> <GUI thread CPU> <process CPU>     every poll tick
//   paint   <start> <end> <GUI thread CPU>                   every frame the window paints
//   change  <started_at before> <ends_at before> <new title> <tick start> <tick end>
//           <panel drawn> <window painted> <previous tick start> <previous tick end>
//                                                            every tick that took over a new song
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

struct Span {
  double start = 0, end = 0, thread_cpu = 0, process_cpu = 0;
};

std::vector<Change> Changes;
std::vector<Span> Ticks;
std::vector<Span> Paints;
bool AwaitingDraw = false;
bool AwaitingPaint = false;
Span Painting;

double Now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

double Cpu(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void TimedPollTimer() {
  const LFM::api_current_song before = CurrentSong;
  Span tick{Now(), 0, Cpu(CLOCK_THREAD_CPUTIME_ID), Cpu(CLOCK_PROCESS_CPUTIME_ID)};
  OnPollTimer();
  tick.end = Now();
  tick.thread_cpu = Cpu(CLOCK_THREAD_CPUTIME_ID) - tick.thread_cpu;
  tick.process_cpu = Cpu(CLOCK_PROCESS_CPUTIME_ID) - tick.process_cpu;
  if (before.title != CurrentSong.title || before.artist.name != CurrentSong.artist.name ||
      before.album != CurrentSong.album) {
    const Span previous = Ticks.empty() ? Span{} : Ticks.back();
    Changes.push_back({before.started_at, before.ends_at, CurrentSong.title, tick.start, tick.end,
                       0, 0, previous.start, previous.end});
    AwaitingDraw = true;
  }
  Ticks.push_back(tick);
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

void OnBeforePaint(GdkFrameClock*, gpointer) {
  Painting = {Now(), 0, Cpu(CLOCK_THREAD_CPUTIME_ID), 0};
}

// The first frame the window paints after the panel drew the new song carries it to the screen.
void OnAfterPaint(GdkFrameClock*, gpointer) {
  Painting.end = Now();
  Painting.thread_cpu = Cpu(CLOCK_THREAD_CPUTIME_ID) - Painting.thread_cpu;
  Paints.push_back(Painting);
  if (!AwaitingPaint) return;
  Changes.back().painted = Painting.end;
  AwaitingPaint = false;
}

void WatchPaints() {
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next) {
    GtkWidget* window = GTK_WIDGET(item->data);
    if (!gtk_widget_get_visible(window)) continue;
    if (GdkFrameClock* clock = gtk_widget_get_frame_clock(window)) {
      g_signal_connect(clock, "before-paint", G_CALLBACK(OnBeforePaint), nullptr);
      g_signal_connect(clock, "after-paint", G_CALLBACK(OnAfterPaint), nullptr);
    }
  }
  g_list_free(windows);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  if (seconds <= 0 || !PlatformStart()) {
    std::fputs("usage: loop_driver SECONDS (with a display)\n", stderr);
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
  for (const Span& tick : Ticks)
    std::printf("tick\t%.6f\t%.6f\t%.6f\t%.6f\n", tick.start, tick.end, tick.thread_cpu,
                tick.process_cpu);
  for (const Span& paint : Paints)
    std::printf("paint\t%.6f\t%.6f\t%.6f\n", paint.start, paint.end, paint.thread_cpu);
  for (const Change& change : Changes)
    std::printf("change\t%s\t%s\t%s\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\n",
                change.started_at.c_str(), change.ends_at.c_str(), change.title.c_str(),
                change.tick_start, change.tick_end, change.drawn, change.painted,
                change.previous_start, change.previous_end);
  std::fflush(stdout);
  // The player itself ends only through its close button; here the process just stops.
  std::_Exit(0);
}
