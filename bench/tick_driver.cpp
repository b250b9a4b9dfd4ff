// Times OnPollTimer on the real main window against the station the build points at.
//
// Opens the main window as start-up does (resources, window, controls, panel handlers, the first
// redraws, shown) but without the poll timer and the player page, then calls OnPollTimer back to
// back, dispatching every waiting event between two calls. Each call is timed on its own.
//
// Usage: tick_driver TICKS
// Prints one line per tick: "wall_us cpu_us song", where cpu_us is the process's CPU time during
// the call and song is 1 when the tick took over a new song.
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/app.h"
#include "app/ids.h"
#include "panels/logo.h"
#include "panels/now_playing.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "station/tracker.h"

namespace {

int64_t ProcessCpuMicroseconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

void DispatchWaiting() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int ticks = argc > 1 ? std::atoi(argv[1]) : 100;
  if (ticks <= 0 || !PlatformStart()) {
    std::fputs("usage: tick_driver TICKS (with a display)\n", stderr);
    return 2;
  }
  StreamDelay = 42;
  InitResources();
  if (!CreateMainWindow()) return 1;
  BindControl(CanvasLogo, OnLogoEvent);
  BindControl(CanvasNowPlaying, OnNowPlayingEvent);
  PostControlEvent(MainWindow, CanvasLogo, EventTypeRedraw, -1);
  PostControlEvent(MainWindow, CanvasNowPlaying, EventTypeRedraw, 0);
  ShowWindow(MainWindow);
  // Let the window settle: mapped, painted, nothing left to do.
  const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (std::chrono::steady_clock::now() < settle) WaitEvent(10);

  for (int i = 0; i < ticks; ++i) {
    DispatchWaiting();
    const std::string title = CurrentSong.title;
    const std::string artist = CurrentSong.artist.name;
    const std::string album = CurrentSong.album;
    const int64_t cpu_before = ProcessCpuMicroseconds();
    const auto before = std::chrono::steady_clock::now();
    OnPollTimer();
    const auto after = std::chrono::steady_clock::now();
    const int64_t cpu_after = ProcessCpuMicroseconds();
    const bool song = title != CurrentSong.title || artist != CurrentSong.artist.name ||
                      album != CurrentSong.album;
    std::printf("%lld %lld %d\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::microseconds>(after - before).count()),
                static_cast<long long>(cpu_after - cpu_before), song ? 1 : 0);
  }
  std::fflush(stdout);
  DispatchWaiting();
  return 0;
}
