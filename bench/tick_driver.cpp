// Times OnPollTimer on the real main window against the station the build points at.
//
// Opens the main window as start-up does (resources, window, controls, panel handlers, the first
// redraws, shown) but without the poll timer and the player page, then calls OnPollTimer back to
// back, dispatching every waiting event between two calls. Each call is timed on its own.
//
// Usage: tick_driver [--step] TICKS [clock | clock+song]
// Prints one line per tick: "wall_us cpu_us song", where cpu_us is the process's CPU time during
// the call and song is 1 when the tick took over a new song.
// With "clock" or "clock+song" each tick makes only those requests, through the program's own
// client, and nothing else. The difference to a whole tick is what the tick does besides its
// requests; the difference to curl_floor is what the same requests cost in this process.
// With --step each tick waits for a line on standard input, and its figures are written at once:
// a caller can make it take turns with curl_floor, tick by tick, under the same conditions.
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/app.h"
#include "app/ids.h"
#include "panels/logo.h"
#include "panels/now_playing.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "settings/preferences.h"
#include "station/lfm.h"
#include "station/tracker.h"

namespace {

int64_t ProcessCpuMicroseconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// Blocks until the caller writes a line; false at the end of the input.
bool WaitForTurn() {
  char line[16];
  return std::fgets(line, sizeof line, stdin) != nullptr;
}

void DispatchWaiting() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool step = argc > 1 && std::string(argv[1]) == "--step";
  if (step) {
    --argc;
    ++argv;
  }
  const int ticks = argc > 1 ? std::atoi(argv[1]) : 100;
  const std::string requests = argc > 2 ? argv[2] : "";
  if (ticks <= 0 || !PlatformStart()) {
    std::fputs("usage: tick_driver [--step] TICKS [clock | clock+song] (with a display)\n", stderr);
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
    if (step && !WaitForTurn()) break;
    const std::string title = CurrentSong.title;
    const std::string artist = CurrentSong.artist.name;
    const std::string album = CurrentSong.album;
    const int64_t cpu_before = ProcessCpuMicroseconds();
    const auto before = std::chrono::steady_clock::now();
    if (!requests.empty()) {
      FetchServerTime();
      LFM::api_current_song fetched;
      if (requests == "clock+song") FetchCurrentSong(AppSettings.MainStation, &fetched);
    } else {
      OnPollTimer();
    }
    const auto after = std::chrono::steady_clock::now();
    const int64_t cpu_after = ProcessCpuMicroseconds();
    const bool song = title != CurrentSong.title || artist != CurrentSong.artist.name ||
                      album != CurrentSong.album;
    std::printf("%lld %lld %d\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::microseconds>(after - before).count()),
                static_cast<long long>(cpu_after - cpu_before), song ? 1 : 0);
    if (step) std::fflush(stdout);
  }
  std::fflush(stdout);
  DispatchWaiting();
  return 0;
}
