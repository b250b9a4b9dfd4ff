#!/usr/bin/env python3
"""Song change: the time from the moment the refresh rule allows a new song (the stored song's
ends_at + 42 s on the service clock) to the new title drawn in the now-playing panel.

loop_driver runs the real start-up and main loop (window, player page, poll timer) for
SECONDS and writes down, on the real-time clock, when each tick ran and when the panel drew
each new song, and when the window next painted. The station's time line runs TIME_SCALE times
faster, with songs of SONG_LENGTHS seconds, so that songs change every few seconds; the moment
the service clock reaches a value C is epoch + (C - clock start) / TIME_SCALE, from the
station's own account of its time line. The lengths are uneven so that the moments a song falls
due do not lock to the ticks' rhythm, and short enough that 42 s after a song's end another
song is on air: every due fetch brings a new song.

Goal: at most one tick plus one request. The timer schedules a tick 750 ms after the previous
one ended, so the worst case is 750 ms + the previous tick's request + the fetching tick's
requests; each change is checked against exactly that bound.
"""

import os
import subprocess
import sys
from datetime import datetime, timezone

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

SECONDS = int(os.environ.get("BENCH_SONG_SECONDS", "60"))
TIME_SCALE = 20
SONG_LENGTHS = "17,23,19,29,13"
STREAM_DELAY = 42
TICK = 0.750


def calendar_seconds(text):
    """Seconds of the first 19 characters as written, zone ignored (as the player reads them)."""
    moment = datetime.strptime(text[:19], "%Y-%m-%d %H:%M:%S")
    return moment.replace(tzinfo=timezone.utc).timestamp()


def main():
    benchlib.enter_environment()
    with benchlib.Station(TIME_SCALE=TIME_SCALE, SONG_LENGTHS=SONG_LENGTHS) as station:
        timeline = station.control()["timeline"]
        out = subprocess.run([benchlib.program("loop_driver"), str(SECONDS)], check=True,
                             capture_output=True, text=True).stdout
    epoch = timeline["epoch"]
    clock_start = calendar_seconds(timeline["clock_start"])
    scale = timeline["time_scale"]

    changes = []
    for line in out.splitlines():
        fields = line.split("\t")
        if fields[0] != "change" or not fields[2]:
            continue  # the first song: nothing was stored before it
        (started, ends, title, tick_start, tick_end, drawn, painted, previous_start,
         previous_end) = fields[1:]
        tick_start, tick_end, drawn, painted, previous_start, previous_end = (
            float(v) for v in (tick_start, tick_end, drawn, painted, previous_start,
                               previous_end))
        if drawn == 0:
            continue  # drawn after the run ended
        due = max(calendar_seconds(ends), calendar_seconds(started) + 1) + STREAM_DELAY
        allowed = epoch + (due - clock_start) / scale
        bound = TICK + (previous_end - previous_start) + (tick_end - tick_start)
        changes.append({"latency": drawn - allowed,
                        "painted": painted - allowed if painted else None,
                        "wait": tick_start - allowed, "tick": tick_end - tick_start,
                        "dispatch": drawn - tick_end, "bound": bound,
                        "within": drawn - allowed <= bound})
    if len(changes) < 5:
        sys.exit(f"bench: only {len(changes)} song changes were seen")

    def ms(values, how=benchlib.median):
        return f"{1000 * how(values):.0f}"

    latency = [c["latency"] for c in changes]
    painted = [c["painted"] for c in changes if c["painted"] is not None]
    bounds = [c["bound"] for c in changes]
    within = sum(c["within"] for c in changes)
    rows = [{"bench": "song", "figure": f"Song change: rule allows -> title drawn "
                                        f"(ms, median / max, n={len(changes)})",
             "player": f"{ms(latency)} / {ms(latency, max)}",
             "floor": f"bound {ms(bounds)} / {ms(bounds, max)} (750 ms + two ticks' requests)",
             "ratio": max(c["latency"] / c["bound"] for c in changes),
             "goal": "every change within its bound", "met": within == len(changes)},
            {"bench": "song",
             "figure": "Song change: rule allows -> window painted (ms, median / max)",
             "player": f"{ms(painted)} / {ms(painted, max)}" if painted else "-",
             "floor": "", "ratio": None, "goal": "report", "met": None}]
    benchlib.report(rows, "5-song")
    print("  each (ms): " + " ".join(f"{1000 * c['latency']:.0f}" for c in changes))
    print(f"  parts (median ms): wait for the tick {ms([c['wait'] for c in changes])}, "
          f"tick (clock + song requests) {ms([c['tick'] for c in changes])}, "
          f"tick end -> panel drawn {1000 * benchlib.median([c['dispatch'] for c in changes]):.2f};"
          f" {within} of {len(changes)} changes within their bound")


if __name__ == "__main__":
    main()
