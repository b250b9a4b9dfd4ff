#include "player/stream_watchdog.h"

#include <chrono>
#include <cstdint>

#include "app/ids.h"
#include "platform/controls.h"
#include "platform/events.h"
#include "platform/webview.h"
#include "player/player_page.h"

// The engine's audio element, left to itself, either fires `ended` and stays paused when the
// stream is cut, or freezes silently (not paused, no event, the position standing still), and it
// never connects again. The watchdog notices both and runs the element's source selection again
// (load(): the same source element, address and query), with a back-off, until it plays.
//
// The listener's wishes are kept:
// - A `pause` is the listener's when it is not part of playback ending (an engine stop at the end
//   of the stream fires `pause` and `ended` together, so a pause is judged half a second later,
//   by whether the element has ended) and did not come from the watchdog's own reload (its first
//   1.5 s). While the listener pauses, nothing is reloaded or played; their `play` ends it.
// - The volume is the one set last outside a reload (the page's 0.5 at start); a reload that
//   plays again restores it, also when the new pipeline reports the start volume back up to 5 s
//   later. addVolume and subtractVolume keep working on the same element.
// Nothing of the page is changed or added: the script keeps its state in a closure.
// Costs: one check a second, and one timer per reload.
const char* const StreamWatchdogScript = R"js((function () {
  'use strict';
  var audio = document.getElementById('stream');
  if (!audio || audio.tagName !== 'AUDIO') return;

  var CHECK_MS = 1000;     // how often the element is looked at
  var FROZEN_MS = 8000;    // no progress this long while it should play: the stream is dead
  var ATTEMPT_MS = 8000;   // a reload that has not played by then has failed
  var SETTLE_MS = 1500;    // after a (re)load: state not judged, pause and emptied are its own
  var HEALTHY_MS = 10000;  // playing this long starts the back-off afresh
  var REPIPE_MS = 5000;    // after a reload plays: the new pipeline may still report its volume
  var PAUSE_MS = 500;      // a pause is judged this long after it, once an `ended` had its chance
  var DELAYS = [1000, 2000, 4000, 5000];  // before the 1st, 2nd, 3rd, and every later reload

  function now() { return performance.now(); }
  var volume = audio.volume;
  var pipelineVolume = audio.volume;  // what a new pipeline reports: the page's own start volume
  var userPaused = false;
  var state = 'watching';  // or 'waiting' for a reload, or 'loading' one
  var failures = 0;        // reloads since playback was last healthy: picks the next delay
  var lastTime = audio.currentTime;
  var lastProgress = now();
  var healthySince = now();
  var loadedAt = now();
  var reloadedAt = now();      // when the pipeline last started: the page's load, or a reload's play
  var reloadStartedAt = -Infinity;  // when the watchdog last reloaded
  var pauseAt = 0;         // time of a pause not yet judged
  var dead = false;        // ended, error or a foreign emptied since playback last advanced
  var stalled = false;     // stalled since the last check

  function settling(t) { return t - loadedAt < SETTLE_MS; }
  // Pauses and volume changes this soon after the watchdog's own reload are the reload's; those
  // right after the page's load are the listener's.
  function reloading(t) { return t - reloadStartedAt < SETTLE_MS; }

  function failed() {
    return dead || audio.ended || audio.error !== null ||
        audio.networkState === audio.NETWORK_NO_SOURCE;
  }

  function scheduleReload() {
    state = 'waiting';
    setTimeout(reload, DELAYS[Math.min(failures, DELAYS.length - 1)]);
    failures++;
  }

  function reload() {
    if (userPaused) {
      state = 'watching';
      return;
    }
    state = 'loading';
    loadedAt = reloadStartedAt = now();
    dead = stalled = false;
    pauseAt = 0;
    audio.load();
    lastTime = audio.currentTime;
    var playing = audio.play();
    if (playing) playing.catch(function () {});
  }

  function check() {
    var t = now();
    var time = audio.currentTime;
    var progressed = !audio.paused && time > lastTime;
    lastTime = time;
    var stalledStill = stalled && !progressed;  // stalled alone may just be a full buffer
    stalled = false;
    if (progressed) {
      lastProgress = t;
      dead = false;
    }
    if (pauseAt) {
      if (t - pauseAt < PAUSE_MS) return;
      pauseAt = 0;
      if (audio.paused && !audio.ended) userPaused = true;
    }
    if (userPaused || state === 'waiting' || settling(t)) return;
    if (state === 'loading') {
      if (progressed) {
        state = 'watching';
        healthySince = t;
        reloadedAt = t;
        if (Math.abs(audio.volume - volume) > 0.001) audio.volume = volume;
      } else if (failed() || t - loadedAt >= ATTEMPT_MS) {
        scheduleReload();
      }
      return;
    }
    if (failures && t - healthySince >= HEALTHY_MS) failures = 0;
    if (failed() || stalledStill || t - lastProgress >= FROZEN_MS) scheduleReload();
  }

  // Capturing: a source that cannot be fetched reports its error on the source element.
  ['ended', 'error', 'emptied'].forEach(function (name) {
    audio.addEventListener(name, function () {
      if (name === 'ended') pauseAt = 0;
      if (name !== 'emptied' || !settling(now())) dead = true;
    }, true);
  });
  audio.addEventListener('stalled', function () { stalled = true; });
  audio.addEventListener('pause', function () {
    if (!reloading(now())) pauseAt = now();
  });
  audio.addEventListener('play', function () {
    userPaused = false;
    pauseAt = 0;
    lastProgress = now();
  });
  // A reload's new pipeline reports the page's start volume back, during the reload or a little
  // after it plays again: that change is put back. Every other change outside a reload is the
  // listener's, addVolume and subtractVolume right after a reload included.
  audio.addEventListener('volumechange', function () {
    var t = now();
    if (state === 'loading' || reloading(t)) return;
    var reported = t - reloadedAt < REPIPE_MS && Math.abs(audio.volume - pipelineVolume) < 0.001;
    if (!reported) {
      volume = audio.volume;
    } else if (Math.abs(audio.volume - volume) > 0.001) {
      audio.volume = volume;
    }
  });
  setInterval(check, CHECK_MS);
})();)js";

namespace {

// The web view's own event: load the player page again.
constexpr int64_t EventTypeReloadPage = 769;

// A page that brings its engine down again this soon after being loaded, this many times in a
// row, is not loaded again: reloading it would only keep spawning engine processes.
constexpr auto QuickCrash = std::chrono::seconds(30);
constexpr int QuickCrashLimit = 5;

int WatchedControl = 0;
bool Reloading = false;
bool ReloadAgain = false;
int QuickCrashes = 0;
std::chrono::steady_clock::time_point LastReload;

// Runs while the view reports the end of its process: the page is loaded from the event loop.
void OnWebProcessGone() {
  PostControlEvent(MainWindow, WatchedControl, EventTypeReloadPage, 0);
}

void OnWatchedViewEvent() {
  if (CurrentEventType() != EventTypeReloadPage) return;
  // Loading dispatches events, so a second crash may arrive meanwhile: it loads once more after.
  if (Reloading) {
    ReloadAgain = true;
    return;
  }
  Reloading = true;
  do {
    ReloadAgain = false;
    auto now = std::chrono::steady_clock::now();
    QuickCrashes = now - LastReload < QuickCrash ? QuickCrashes + 1 : 0;
    if (QuickCrashes >= QuickCrashLimit) break;
    LastReload = now;
    LoadPlayerPage(CurrentEventControl());
  } while (ReloadAgain);
  Reloading = false;
}

}  // namespace

void InstallStreamWatchdog(int control) {
  if (!ControlExists(control)) return;
  WatchedControl = control;
  AddWebViewUserScript(control, StreamWatchdogScript);
  SetWebViewCrashHandler(control, OnWebProcessGone);
  BindControl(control, OnWatchedViewEvent);
}
