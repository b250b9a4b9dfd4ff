#!/usr/bin/env python3
"""What playing costs: CPU seconds a minute and memory of the whole process tree (the player and
the web engine's network and web processes), next to (a) bare_page, a window with a web view
whose page holds only an audio element playing the same stream (the floor of this design), and
(b) mpv --no-video on the same stream.

The three play at once, so that they share the machine's conditions. After a warm-up they are
measured over SECONDS: CPU from /proc/<pid>/stat (utime + stime of every process of the tree),
memory at the end (USS: private pages; PSS; distinct resident pages of the tree, see benchlib).
"""

import os
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

SECONDS = float(os.environ.get("BENCH_PLAY_SECONDS", "60"))
WARM_UP = 10


def tree_cpu(pid):
    return benchlib.tree_cpu_seconds(benchlib.tree(pid))


def main():
    have_mpv = benchlib.ensure_mpv()
    benchlib.enter_environment()
    commands = {"player": [benchlib.program("ormelund-radio")],
                "bare page": [benchlib.program("bare_page"), benchlib.STREAM_URL]}
    if have_mpv:
        commands["mpv"] = benchlib.MPV + [benchlib.STREAM_URL]
    with benchlib.Station(SONG_LENGTHS=36000):
        running = {name: benchlib.start(command) for name, command in commands.items()}
        try:
            time.sleep(WARM_UP)
            for name, process in running.items():
                if process.poll() is not None:
                    sys.exit(f"bench: {name} ended early")
            first = {name: tree_cpu(p.pid) for name, p in running.items()}
            start = time.monotonic()
            time.sleep(SECONDS)
            last = {name: tree_cpu(p.pid) for name, p in running.items()}
            span = time.monotonic() - start
            memory = {name: benchlib.memory(benchlib.tree(p.pid)) for name, p in running.items()}
            names = {name: {pid: benchlib.process_name(pid) for pid in benchlib.tree(p.pid)}
                     for name, p in running.items()}
        finally:
            for process in running.values():
                benchlib.stop(process)

    cpu = {name: sum(last[name][pid] - first[name].get(pid, 0.0) for pid in last[name]) * 60 / span
           for name in running}
    player, bare = "player", "bare page"
    rows = []
    rows.append({"bench": "playing", "figure": "Playing, CPU (s per minute, process tree)",
                 "player": f"{cpu[player]:.2f}",
                 "floor": f"{cpu[bare]:.2f}" + (f" (mpv {cpu['mpv']:.2f})" if have_mpv else ""),
                 "ratio": cpu[player] / cpu[bare], "goal": "<= 1.1x bare page",
                 "met": cpu[player] <= 1.1 * cpu[bare]})
    # The tree's first process is the program itself: the rest are the engine's.
    own = {}
    for name, process in running.items():
        own[name] = (last[name][process.pid] - first[name].get(process.pid, 0.0)) * 60 / span
    rows.append({"bench": "playing", "figure": "Playing, CPU of the program's own process "
                                               "(s per minute; the engine's processes left out)",
                 "player": f"{own[player]:.2f}", "floor": f"{own[bare]:.2f}",
                 "ratio": own[player] / own[bare] if own[bare] else None, "goal": "report",
                 "met": None})
    for key, label in (("distinct", "distinct resident pages"), ("uss", "USS"), ("pss", "PSS")):
        floor = f"{memory[bare][key]:.0f}"
        if have_mpv:
            floor += f" (mpv {memory['mpv'][key]:.0f})"
        rows.append({"bench": "playing", "figure": f"Playing, memory: {label} (MiB, process tree)",
                     "player": f"{memory[player][key]:.0f}", "floor": floor,
                     "ratio": memory[player][key] / memory[bare][key],
                     "goal": "<= 1.1x bare page" if key == "distinct" else "report",
                     "met": memory[player][key] <= 1.1 * memory[bare][key]
                     if key == "distinct" else None})
    benchlib.report(rows, "3-playing")
    for name in running:
        parts = ", ".join(
            f"{names[name].get(pid, pid)} {(seconds - first[name].get(pid, 0.0)) * 60 / span:.2f}"
            for pid, seconds in last[name].items())
        print(f"  {name}: CPU s/min by process: {parts}")


if __name__ == "__main__":
    main()
