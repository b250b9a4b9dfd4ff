// Soak driver: the player's real start-up, window, panels and song tracker against a station,
// with poll ticks back to back (the events that came meanwhile dispatched between them) for many
// ticks. Every 1,000 ticks it prints the process's resident memory (VmRSS), the songs taken over
// so far and the longest tick; at the end, the growth of resident memory per 1,000 ticks.
//
// Usage: soak_driver TICKS API_HOST CA_FILE [MAX_GROWTH_KIB_PER_1000_TICKS] [MIN_SONGS]
// Exit status 0 when the growth after the first tenth of the run stays within the limit (default
// 64 KiB per 1,000 ticks) and at least MIN_SONGS (default 200) songs were taken over.
// tools/soak.sh runs it against the local station; it needs a display (tools/test-env.sh).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/caption.h"
#include "app/ids.h"
#include "panels/logo.h"
#include "panels/now_playing.h"
#include "platform/events.h"
#include "platform/net.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "settings/preferences.h"
#include "station/lfm.h"
#include "station/tracker.h"

namespace {

using Clock = std::chrono::steady_clock;

long ResidentKib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  return -1;
}

long SongsTakenOver = 0;

// The now-playing panel's handler, counting the redraws that carry a new song.
void OnNowPlayingCounted() {
  if (CurrentEventType() == EventTypeRedraw &&
      CurrentEventData() == reinterpret_cast<intptr_t>(&CurrentSong))
    ++SongsTakenOver;
  OnNowPlayingEvent();
}

// Least-squares slope of resident memory over ticks, in KiB per 1,000 ticks.
double GrowthPerThousand(const std::vector<std::pair<long, long>>& samples) {
  const double n = static_cast<double>(samples.size());
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const auto& [ticks, kib] : samples) {
    const double x = ticks / 1000.0, y = static_cast<double>(kib);
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
  }
  const double d = n * sxx - sx * sx;
  return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: soak_driver TICKS API_HOST CA_FILE [MAX_GROWTH_KIB] [MIN_SONGS]\n", stderr);
    return 2;
  }
  const long ticks = std::atol(argv[1]);
  ApiHost = argv[2];
  CaFile = argv[3];
  const double max_growth = argc > 4 ? std::atof(argv[4]) : 64;
  const long min_songs = argc > 5 ? std::atol(argv[5]) : 200;
  if (!PlatformStart()) {
    std::fputs("soak_driver: no display; run it under tools/test-env.sh\n", stderr);
    return 2;
  }

  // The program's own start-up, without the poll timer (the loop below ticks instead) and without
  // the player page (the stream is not under test here).
  StreamDelay = 42;
  InitResources();
  if (!CreateMainWindow()) {
    std::fputs("soak_driver: the main window did not open\n", stderr);
    return 1;
  }
  BindWindowEvent(EventWindowSized, OnWindowMoveSize, MainWindow);
  BindWindowEvent(EventWindowMoved, OnWindowMoveSize, MainWindow);
  BindControl(CanvasLogo, OnLogoEvent);
  BindControl(CanvasNowPlaying, OnNowPlayingCounted);
  PostControlEvent(MainWindow, CanvasLogo, EventTypeRedraw, -1);
  PostControlEvent(MainWindow, CanvasNowPlaying, EventTypeRedraw, 0);
  ShowWindow(MainWindow);
  SetWindowHook(OnMainWindowMessage, MainWindow);
  while (WaitEvent(50)) {
  }

  std::vector<std::pair<long, long>> samples;  // (ticks, KiB)
  double longest = 0;
  const auto start = Clock::now();
  std::printf("%8s %10s %7s %12s %9s\n", "ticks", "VmRSS KiB", "songs", "longest tick", "seconds");
  for (long tick = 1; tick <= ticks; ++tick) {
    const auto begin = Clock::now();
    OnPollTimer();
    for (int i = 0; i < 50 && WaitEvent(0);) ++i;
    longest = std::max(longest, std::chrono::duration<double>(Clock::now() - begin).count());
    if (tick % 1000 == 0) {
      samples.emplace_back(tick, ResidentKib());
      std::printf("%8ld %10ld %7ld %10.3f s %9.1f\n", tick, samples.back().second, SongsTakenOver,
                  longest, std::chrono::duration<double>(Clock::now() - start).count());
      std::fflush(stdout);
    }
  }

  // The first tenth warms up: fonts, caches and the allocator's pools reach their working size.
  std::vector<std::pair<long, long>> steady;
  for (const auto& sample : samples)
    if (sample.first > ticks / 10) steady.push_back(sample);
  const double growth = GrowthPerThousand(steady);
  const long first = steady.empty() ? 0 : steady.front().second;
  const long last = steady.empty() ? 0 : steady.back().second;
  std::printf(
      "growth after warm-up: %+.1f KiB per 1,000 ticks (%ld -> %ld KiB); %ld songs taken "
      "over in %ld ticks; longest tick %.3f s\n",
      growth, first, last, SongsTakenOver, ticks, longest);
  const bool flat = steady.size() >= 2 && growth <= max_growth;
  const bool enough_songs = SongsTakenOver >= min_songs;
  if (!flat)
    std::printf("FAIL: resident memory grows (limit %.0f KiB per 1,000 ticks)\n", max_growth);
  if (!enough_songs) std::printf("FAIL: fewer than %ld songs taken over\n", min_songs);
  std::fflush(stdout);
  // The platform's close-down ends the process; the verdict is the exit status.
  std::exit(flat && enough_songs ? 0 : 1);
}
