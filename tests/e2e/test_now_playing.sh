#!/usr/bin/env bash
# End-to-end: the now-playing panel of the real program shows the station's current song and
# follows it. The station's clock runs 20 times faster, every song lasts 90 of its seconds
# (4.5 s) and is named 42 s before it is heard, so the panel changes every 4.5 s. Screenshots
# are taken all the time, each between two readings of the station's clock and current song.
# Every screenshot's artist, title and album rows must be, pixel for pixel, a rendering of one
# song of the playlist in the program's font and colour; the song changes between the service
# clock's ends_at + 42 s of the song shown (the program's StreamDelay) and two poll ticks later,
# to the song the service named then; and the time-left row shows, at every tick, the seconds
# from the service clock to ends_at + 42 s, so it changes from tick to tick.
# Usage: bash test_now_playing.sh <program> <source dir> <build dir>
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh" "$@"

TIME_SCALE=20 SONG_LENGTHS=90 STREAM_LEAD=42 STATION_CLOCK_START="2026-12-11 10:00:00" \
  e2e_station_start || e2e_fail "the station starts"
e2e_program_start || e2e_fail "the program opens its window"

python3 - "$e2e_work" "$e2e_window" "$e2e_control" "$e2e_src/tools/station/playlist.json" \
  "$e2e_faces" >"$e2e_work/now_playing.out" <<'EOF'
import json, subprocess, sys, time, urllib.request
from datetime import datetime

work, window, control, playlist, faces = sys.argv[1:6]
SCALE = 20            # station seconds per real second
TICK = 0.75 * SCALE   # the program's poll interval (750 ms) on the station's clock
SLACK = 1.0 * SCALE   # a real second for requests and drawing on a busy machine
DELAY = 42            # the program's StreamDelay
W = 730
PANEL_X, PANEL_Y = 170, 26
VALUE_X, VALUE_W = 105, 454
# Rows compared, in panel pixels: the part of each text cell that no other text reaches (the
# title's descenders reach into the album's cell, the album's into the time left's).
# Cell y, first row compared in the cell, rows compared, font size in pixels.
ROWS = {"artist": (25, 0, 35, 19), "title": (60, 0, 20, 16), "album": (80, 3, 18, 16)}
COUNTDOWN = (101, 2, 16, 16)

renders = {}
def render(text, px, rows, skip=0):
    """TEXT as the program draws it at a value's x, rows skip..skip+rows of its cell."""
    key = (text, px, rows, skip)
    if key not in renders:
        cell = f"{work}/cell.png"
        subprocess.run(["pango-view", "-q", "--backend=cairo", "--margin=0",
                        "--background=#000000", "--foreground=#7c86a0",
                        f"--font={faces} {px}px", f"--text={text}", "-o", cell], check=True)
        renders[key] = subprocess.run(
            ["convert", cell, "-background", "black", "-extent", f"{VALUE_W}x{rows + skip}",
             "-crop", f"{VALUE_W}x{rows}+0+{skip}", "+repage", "-depth", "8", "rgb:-"],
            capture_output=True, check=True).stdout
    return renders[key]

def region(shot, y, rows):
    x0 = (PANEL_X + VALUE_X) * 3
    return b"".join(shot[((PANEL_Y + y + r) * W) * 3 + x0:((PANEL_Y + y + r) * W) * 3 + x0
                         + VALUE_W * 3] for r in range(rows))

def same(a, b):  # a few levels of smoothing apart at most, in every pixel
    return len(a) == len(b) and all(abs(x - y) <= 48 for x, y in zip(a, b))

def clock(text):
    return int(datetime.strptime(text[:19], "%Y-%m-%d %H:%M:%S").timestamp())

def station():
    state = json.load(urllib.request.urlopen(f"{control}/_control", timeout=5))
    return clock(state["clock"]), state["current_song"]

songs = json.load(open(playlist, encoding="utf-8"))["songs"]
candidates = [(s["title"], s["artist"]["name"], s["album"]) for s in songs]
placeholders = ("Titelname", "Artistenname", "Albumname")

def song_shown(shot):
    for title, artist, album in candidates + [placeholders]:
        texts = {"artist": artist, "title": title, "album": album}
        if all(same(region(shot, y + skip, rows), render(texts[name], px, rows, skip))
               for name, (y, skip, rows, px) in ROWS.items()):
            return title
    return None

# --- sampling: screenshot between two readings of the station -----------------------------
samples, served = [], []
changes, started = 0, time.time()
while time.time() - started < 40:
    c0, song0 = station()
    shot = subprocess.run(["import", "-window", window, "-depth", "8", "rgb:-"],
                          capture_output=True, check=True).stdout
    c1, song1 = station()
    served += [(c0, song0), (c1, song1)]
    shown = song_shown(shot)
    if samples and shown != samples[-1]["song"] and samples[-1]["song"] not in (None, "Titelname"):
        changes += 1
    samples.append({"c0": c0, "c1": c1, "shot": shot, "song": shown})
    if changes >= 2 and len(samples) - max(i for i, s in enumerate(samples)
                                           if s["song"] != samples[-1]["song"]) > 8:
        break
    time.sleep(0.1)

def result(ok, what):
    print(f"{'ok' if ok else 'FAIL'}\t{what}")

print(f"{len(samples)} screenshots over {samples[-1]['c1'] - samples[0]['c0']} station seconds, "
      f"{changes} song changes")
unknown = [i for i, s in enumerate(samples) if s["song"] is None]
result(not unknown, "every screenshot shows a song of the station, pixel for pixel"
       f" (unmatched: {unknown[:5]})")
first_song = next((i for i, s in enumerate(samples) if s["song"] not in (None, "Titelname")), None)
result(first_song is not None and all(s["song"] != "Titelname" for s in samples[first_song:]),
       "after the first song has been read the placeholders never return")

# Runs of screenshots that show the same song.
runs = []
for i, s in enumerate(samples):
    if s["song"] in (None, "Titelname"):
        continue
    if runs and runs[-1]["song"] == s["song"] and runs[-1]["last"] == i - 1:
        runs[-1]["last"] = i
    else:
        runs.append({"song": s["song"], "first": i, "last": i})

def record_near(title, at):
    """The record the service named for TITLE nearest to the station clock AT."""
    found = [(abs(c - at), song) for c, song in served if song["title"] == title]
    return min(found, key=lambda f: f[0])[1] if found else None

problems = []
for n, run in enumerate(runs):
    first, last = samples[run["first"]], samples[run["last"]]
    record = record_near(run["song"], first["c0"])
    if record is None:
        problems.append(f"{run['song']} was never named by the service")
        continue
    due = clock(record["ends_at"]) + DELAY
    run["due"] = due
    if n + 1 < len(runs):
        after = samples[runs[n + 1]["first"]]
        if after["c1"] < due:
            problems.append(f"{run['song']} replaced at {after['c1']}, before {due}")
        if last["c0"] > due + 2 * TICK + SLACK:
            problems.append(f"{run['song']} still shown at {last['c0']}, due at {due}")
        # What the service named between the moment the song was due and the screenshot that
        # showed the next one, and at the last reading before (the span may hold no reading).
        named = {song["title"] for c, song in served if due <= c <= after["c1"]}
        named.update([song["title"] for c, song in served if c < due][-1:])
        if runs[n + 1]["song"] not in named:
            problems.append(f"{runs[n + 1]['song']} follows {run['song']}, the service named "
                            f"{sorted(named)}")
        if region(last["shot"], 60, 20) == region(after["shot"], 60, 20):
            problems.append(f"the title rows did not change from {run['song']}")
    elif last["c0"] > due + 2 * TICK + SLACK:
        problems.append(f"{run['song']} still shown at {last['c0']}, due at {due}")
result(changes >= 2, f"the panel followed the station through {changes} song changes")
result(not problems, "each song changes between ends_at + 42 s and two ticks later, to the song "
       f"the service named ({'; '.join(problems[:3])})")

# The time-left row: blank right after a change, then the seconds left at the last tick.
values, wrong = [], []
for run in runs:
    due, previous = run.get("due"), None
    if due is None:
        continue
    for i in range(run["first"], run["last"] + 1):
        s = samples[i]
        y, skip, rows, px = COUNTDOWN
        shown = region(s["shot"], y + skip, rows)
        if not any(shown):
            if s["c0"] > samples[run["first"]]["c0"] + TICK + SLACK:
                wrong.append(f"blank at {s['c0']}")
            continue
        low, high = max(0, due - s["c1"]), max(0, due - s["c0"] + int(TICK + SLACK))
        # The likeliest value first: the shown one if it is still in range.
        order = sorted(range(low, high + 1),
                       key=lambda v: (v != previous, abs(v - (due - s["c0"]))))
        text = lambda v: f"{v // 60:02d} : {v % 60:02d}"
        match = next((v for v in order if same(shown, render(text(v), px, rows, skip))), None)
        if match is None:
            wrong.append(f"no value in {low}..{high} at {s['c0']}")
        elif previous is not None and match > previous:
            wrong.append(f"{match} after {previous}")
        else:
            if match != previous:
                values.append(match)
            previous = match
result(not wrong, f"the time left is the seconds to ends_at + 42 s at the last tick ({wrong[:3]})")
result(len(values) >= 4, f"the time left changed from tick to tick ({values})")
EOF
head -n 1 "$e2e_work/now_playing.out"
while IFS=$'\t' read -r outcome what; do
  check "$what" [ "$outcome" = ok ]
done < <(tail -n +2 "$e2e_work/now_playing.out")
check "every rule about the panel was judged" \
  [ "$(grep -c $'^ok\t\|^FAIL\t' "$e2e_work/now_playing.out")" -eq 6 ]
