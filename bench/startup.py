#!/usr/bin/env python3
"""Start-up: time from exec to the window shown and to the first sound, next to (a) bare_page
and (b) mpv --no-video on the same stream.

A recording of the null sink's monitor (parec) runs before each program is started; the first
sound is the first sample after the start whose magnitude exceeds THRESHOLD (the station's audio
never stays below it for 10 ms). The window is shown when window_wait sees a viewable window of
the program's class. Each program starts RUNS times, in turns; the figures are medians, and the
ratios are medians of the ratios of each turn (player / bare page started right after it), which
keeps the machine's slow changes of load out of them.
The recording's position at the start is read from its file size, which lags the sink by the
recorder's latency (about 10-20 ms): the same for every program.
"""

import os
import select
import subprocess
import sys
import tempfile
import time
from array import array

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

RUNS = int(os.environ.get("BENCH_STARTUP_RUNS", "9"))
THRESHOLD = 4  # of 32768
RATE = 44100
FRAME = 4  # bytes: two 16-bit channels
TIMEOUT = 20.0


class SoundWatch:
    """Follows the recording from a frame on, for the first sample above the threshold."""

    def __init__(self, path, from_frame):
        self.file = open(path, "rb")
        self.position = from_frame * FRAME
        self.frame = None

    def look(self):
        """Reads what was recorded since the last look; True once the sound was found."""
        if self.frame is None:
            self.file.seek(self.position)
            data = self.file.read()
            usable = len(data) // FRAME * FRAME
            samples = array("h")
            samples.frombytes(data[:usable])
            for index, value in enumerate(samples):
                if value > THRESHOLD or value < -THRESHOLD:
                    self.frame = self.position // FRAME + index // 2
                    break
            self.position += usable
        return self.frame is not None


def silent_tail(path, seconds):
    """True when the last `seconds` of the recording are silence."""
    size = os.path.getsize(path) // FRAME * FRAME
    want = int(seconds * RATE) * FRAME
    if size < want:
        return False
    with open(path, "rb") as f:
        f.seek(size - want)
        samples = array("h")
        samples.frombytes(f.read(want))
    return all(-THRESHOLD <= value <= THRESHOLD for value in samples)


def measure(command, window_class, folder):
    recording = os.path.join(folder, "rec.raw")
    with open(recording, "wb") as out:
        recorder = subprocess.Popen(
            ["parec", "-d", "test_sink.monitor", "--latency-msec=10", "--format=s16le",
             f"--rate={RATE}", "--channels=2", "--raw"], stdout=out)
    watcher = program = None
    try:
        # Whatever the previous program played has left the sink.
        if not benchlib.wait_until(lambda: silent_tail(recording, 0.3), 10):
            sys.exit("bench: the sink does not fall silent")
        if window_class:
            watcher = subprocess.Popen([benchlib.program("window_wait"), window_class,
                                        str(TIMEOUT)], stdout=subprocess.PIPE, text=True)
            watcher.stdout.readline()  # "ready"
        start_frame = os.path.getsize(recording) // FRAME
        start = time.monotonic()
        program = benchlib.start(command)
        sound = SoundWatch(recording, start_frame)
        shown = None
        waiting_window = watcher is not None
        while time.monotonic() < start + TIMEOUT and (waiting_window or not sound.look()):
            if waiting_window and select.select([watcher.stdout], [], [], 0.02)[0]:
                line = watcher.stdout.readline().strip()
                shown = float(line) - start if line else None
                waiting_window = False
            elif not waiting_window:
                time.sleep(0.02)
        sound.file.close()
        heard = (sound.frame - start_frame) / RATE if sound.frame is not None else None
        if heard is None:
            streams = subprocess.run(["pactl", "list", "sink-inputs", "short"],
                                     capture_output=True, text=True).stdout.strip()
            print(f"  no sound within {TIMEOUT:.0f} s from {os.path.basename(command[0])} "
                  f"({'running' if program.poll() is None else 'ended'}; sink inputs: "
                  f"{streams or 'none'})")
        return shown, heard
    finally:
        if program:
            benchlib.stop(program)
        if watcher:
            benchlib.stop(watcher)
        benchlib.stop(recorder)


def main():
    have_mpv = benchlib.ensure_mpv()
    benchlib.enter_environment()
    programs = {"player": ([benchlib.program("ormelund-radio")], "Ormelund-Radio"),
                "bare page": ([benchlib.program("bare_page"), benchlib.STREAM_URL], "Bare-Page")}
    if have_mpv:
        programs["mpv"] = (benchlib.MPV + [benchlib.STREAM_URL], None)
    results = {name: {"shown": [], "sound": []} for name in programs}
    with benchlib.Station(SONG_LENGTHS=36000), tempfile.TemporaryDirectory() as folder:
        # A first start of each, not counted: the first GStreamer user of the fresh home builds
        # the plugin registry, and the first start reads every library from disk.
        for command, window_class in programs.values():
            measure(command, window_class, folder)
        for _ in range(RUNS):
            for name, (command, window_class) in programs.items():
                shown, sound = measure(command, window_class, folder)
                results[name]["shown"].append(shown)
                results[name]["sound"].append(sound)
    for name, values in results.items():
        print(f"  {name}: shown {[v and round(v, 3) for v in values['shown']]}, "
              f"sound {[v and round(v, 3) for v in values['sound']]}")

    def med(name, key):
        values = [v for v in results[name][key] if v is not None]
        if len(values) < (RUNS + 1) // 2:
            sys.exit(f"bench: {name} gave {key} in only {len(values)} of {RUNS} starts")
        return benchlib.median(values)

    def shown(name, key):
        values = [v for v in results[name][key] if v is not None]
        count = "" if len(values) == RUNS else f" ({len(values)} of {RUNS} starts)"
        return f"{med(name, key):.2f}{count}"

    def ratio(key):
        pairs = zip(results["player"][key], results["bare page"][key])
        return benchlib.median([a / b for a, b in pairs if a is not None and b])

    rows = [{"bench": "startup", "figure": f"Start-up to window shown (s, median of {RUNS})",
             "player": shown("player", "shown"), "floor": shown("bare page", "shown"),
             "ratio": ratio("shown"), "goal": "report",
             "met": None}]
    floor = shown("bare page", "sound")
    if have_mpv:
        floor += f" (mpv {shown('mpv', 'sound')})"
    every = all(None not in results[name]["sound"] for name in results)
    rows.append({"bench": "startup", "figure": f"Start-up to first sound (s, median of {RUNS})",
                 "player": shown("player", "sound"), "floor": floor,
                 "ratio": ratio("sound"), "goal": "<= 1.1x bare page",
                 "met": every and ratio("sound") <= 1.1})
    benchlib.report(rows, "4-startup")


if __name__ == "__main__":
    main()
