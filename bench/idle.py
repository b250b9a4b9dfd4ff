#!/usr/bin/env python3
"""What the player's own process costs while nothing changes, next to the same player built with
the polling main loop (a 1 ms wait over and over: ormelund-radio-poll).

Against the local station with long songs (no song change is due), with the window shown, run
at once: the player, its polling build, and loop_driver (the player's start-up and main loop
with the tick handler and the window's frames timed, for the split). Measured from /proc over
SECONDS, twice: while the stream plays, and after the stream source has stopped (the page then
is quiet but for the stream watchdog trying the stream again every few seconds):
  - CPU time of the player's process (all threads; the web engine's processes not included);
  - CPU time of its GUI thread (the scheduler's account);
  - voluntary context switches, each one a sleep that ended in a wake-up, of the GUI thread
    and of all threads;
  - from loop_driver: the CPU time spent inside the ticks (OnPollTimer), inside the frames the
    window paints, and the rest. "Between ticks" is the process's CPU time outside the ticks.
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

SECONDS = float(os.environ.get("BENCH_IDLE_SECONDS", "25"))
WARM_UP = 10
SETTLE = 5  # after the stream stops
PHASES = ("stream playing", "stream stopped")


def sample(pid):
    return {"cpu": benchlib.cpu_seconds(pid), "gui": benchlib.thread_runtime_seconds(pid, pid),
            "switches": benchlib.context_switches(pid), "time": time.monotonic(),
            "wall": time.time()}


def rates(first, last):
    span = last["time"] - first["time"]
    gui = last["switches"].get(first["pid"], 0) - first["switches"].get(first["pid"], 0)
    # Threads that ended meanwhile are gone from the last sample; new ones count from zero.
    every = sum(count - first["switches"].get(tid, 0) for tid, count in last["switches"].items())
    return {"cpu": (last["cpu"] - first["cpu"]) / span, "gui": (last["gui"] - first["gui"]) / span,
            "wake_gui": gui / span, "wake_all": every / span, "span": span,
            "from": first["wall"], "to": last["wall"]}


def split(lines, window):
    """Shares of a core of the driver's ticks and frames inside the measured window."""
    ticks = [line for line in lines if line[0] == "tick"]
    paints = [line for line in lines if line[0] == "paint"]

    def inside(line):
        return window["from"] <= float(line[1]) and float(line[2]) <= window["to"]

    span = window["to"] - window["from"]
    return {"ticks": sum(1 for t in ticks if inside(t)) / span,
            "tick_gui": sum(float(t[3]) for t in ticks if inside(t)) / span,
            "tick_process": sum(float(t[4]) for t in ticks if inside(t)) / span,
            "paint_gui": sum(float(p[3]) for p in paints if inside(p)) / span}


def main():
    benchlib.enter_environment()
    commands = {"player": [benchlib.program("ormelund-radio")],
                "polling": [benchlib.program("ormelund-radio-poll")],
                "driver": [benchlib.program("loop_driver"),
                           str(int(WARM_UP + 2 * SECONDS + SETTLE + 15))]}
    measured = {}
    with benchlib.Station(SONG_LENGTHS=36000) as station:
        running = {name: benchlib.start(command, stdout=subprocess.PIPE, text=True)
                   if name == "driver" else benchlib.start(command)
                   for name, command in commands.items()}
        try:
            time.sleep(WARM_UP)
            for phase in PHASES:
                if phase == "stream stopped":
                    station.run("stream-stop")  # the mount goes away: the audio element stops
                    time.sleep(SETTLE)
                for name, process in running.items():
                    if process.poll() is not None:
                        sys.exit(f"bench: {name} ended early")
                first = {name: dict(sample(p.pid), pid=p.pid) for name, p in running.items()}
                time.sleep(SECONDS)
                last = {name: sample(p.pid) for name, p in running.items()}
                measured[phase] = {name: rates(first[name], last[name]) for name in running}
            output, _ = running["driver"].communicate(timeout=60)
        finally:
            for process in running.values():
                benchlib.stop(process)
    lines = [line.split("\t") for line in output.splitlines()]
    for phase in PHASES:
        measured[phase]["split"] = split(lines, measured[phase]["driver"])

    def pct(x):
        return f"{100 * x:.2f}%"

    rows = []
    for phase in PHASES:
        player, polling, driver = (measured[phase][n] for n in ("player", "polling", "driver"))
        parts = measured[phase]["split"]
        between = driver["cpu"] - parts["tick_process"]
        rest = driver["gui"] - parts["tick_gui"] - parts["paint_gui"]
        rows += [
            {"bench": "idle", "figure": f"Idle, {phase}: process CPU, ticks included "
                                        f"(% of a core)",
             "player": pct(player["cpu"]), "floor": pct(polling["cpu"]) + " (1 ms polling loop)",
             "ratio": player["cpu"] / polling["cpu"] if polling["cpu"] else None,
             "goal": "report", "met": None},
            {"bench": "idle", "figure": f"Idle, {phase}: process CPU between ticks (% of a core)",
             "player": pct(between),
             "floor": f"ticks {pct(parts['tick_process'])} ({parts['ticks']:.2f}/s); GUI thread: "
                      f"ticks {pct(parts['tick_gui'])}, frames {pct(parts['paint_gui'])}, "
                      f"rest {pct(rest)}",
             "ratio": None, "goal": "< 0.5% of a core", "met": between < 0.005},
            {"bench": "idle", "figure": f"Idle, {phase}: wake-ups per second "
                                        f"(GUI thread / all threads)",
             "player": f"{player['wake_gui']:.1f} / {player['wake_all']:.1f}",
             "floor": f"{polling['wake_gui']:.1f} / {polling['wake_all']:.1f}",
             "ratio": player["wake_gui"] / polling["wake_gui"] if polling["wake_gui"] else None,
             "goal": "report", "met": None},
        ]
    benchlib.report(rows, "2-idle")
    for phase in PHASES:
        for name in ("player", "polling", "driver"):
            r = measured[phase][name]
            print(f"  {phase}, {name}: process {pct(r['cpu'])}, GUI thread {pct(r['gui'])}, "
                  f"wake-ups {r['wake_gui']:.1f}/s GUI thread, {r['wake_all']:.1f}/s all")


if __name__ == "__main__":
    main()
