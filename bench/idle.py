#!/usr/bin/env python3
"""What the player's own process costs while nothing changes, next to the same player built with
a polling main loop (a 1 ms wait over and over, ormelund-radio-poll).

Both run at once against the local station, whose songs are long (no song change is due), with
the window shown and the stream playing. Over SECONDS, from /proc: CPU time of the player's
process (all threads, the web engine's processes not included), CPU time of its GUI thread
(the scheduler's account), and voluntary context switches (each one a sleep that ended in a
wake-up) of the GUI thread and of all threads. The ticks' own share is the number of ticks
times the CPU time of one tick (tick_driver, run here just before); the rest is what the
process costs between ticks.
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

SECONDS = float(os.environ.get("BENCH_IDLE_SECONDS", "30"))
WARM_UP = 10


def sample(pid):
    main, threads = benchlib.wakeups(pid)
    return {"cpu": benchlib.cpu_seconds(pid), "gui": benchlib.thread_runtime_seconds(pid, pid),
            "wake_gui": main, "wake_all": threads, "time": time.monotonic()}


def rates(first, last):
    span = last["time"] - first["time"]
    return {key: (last[key] - first[key]) / span for key in first if key != "time"}


def tick_cpu_seconds():
    """Median process CPU time of one clock tick of OnPollTimer on the real window."""
    out = subprocess.run([benchlib.program("tick_driver"), "41"], check=True,
                         capture_output=True, text=True).stdout
    cpu = [int(line.split()[1]) / 1e6 for line in out.splitlines()[1:]]
    return benchlib.median(cpu)


def main():
    benchlib.enter_environment()
    players = {"blocking": benchlib.program("ormelund-radio"),
               "polling": benchlib.program("ormelund-radio-poll")}
    with benchlib.Station(SONG_LENGTHS=36000) as station:
        per_tick = tick_cpu_seconds()
        running = {name: benchlib.start([path]) for name, path in players.items()}
        try:
            time.sleep(WARM_UP)
            for name, process in running.items():
                if process.poll() is not None:
                    sys.exit(f"bench: {name} player ended early")
            station.run("counts", "reset")
            first = {name: sample(p.pid) for name, p in running.items()}
            time.sleep(SECONDS)
            last = {name: sample(p.pid) for name, p in running.items()}
            clock_requests = station.control()["counts"].get("/time", 0)
        finally:
            for process in running.values():
                benchlib.stop(process)

    measured = {name: rates(first[name], last[name]) for name in running}
    # Both players tick at the same pace; the station counts the clock requests of both.
    ticks_per_second = clock_requests / len(running) / SECONDS
    tick_share = ticks_per_second * per_tick
    blocking, polling = measured["blocking"], measured["polling"]
    between = max(0.0, blocking["cpu"] - tick_share)

    def pct(x):
        return f"{100 * x:.2f}%"

    rows = [
        {"bench": "idle", "figure": "Idle, process CPU (% of a core, ticks included)",
         "player": pct(blocking["cpu"]), "floor": pct(polling["cpu"]) + " (1 ms polling loop)",
         "ratio": blocking["cpu"] / polling["cpu"] if polling["cpu"] else None,
         "goal": "report", "met": None},
        {"bench": "idle", "figure": "Idle, process CPU between ticks (% of a core)",
         "player": pct(between),
         "floor": f"ticks: {ticks_per_second:.2f}/s x {1000 * per_tick:.2f} ms = {pct(tick_share)}",
         "ratio": None, "goal": "< 0.5% of a core", "met": between < 0.005},
        {"bench": "idle", "figure": "Idle, GUI thread CPU (% of a core)",
         "player": pct(blocking["gui"]), "floor": pct(polling["gui"]),
         "ratio": blocking["gui"] / polling["gui"] if polling["gui"] else None,
         "goal": "report", "met": None},
        {"bench": "idle", "figure": "Idle, wake-ups per second (GUI thread / all threads)",
         "player": f"{blocking['wake_gui']:.1f} / {blocking['wake_all']:.1f}",
         "floor": f"{polling['wake_gui']:.1f} / {polling['wake_all']:.1f}",
         "ratio": blocking["wake_gui"] / polling["wake_gui"] if polling["wake_gui"] else None,
         "goal": "report", "met": None},
    ]
    benchlib.report(rows, "2-idle")


if __name__ == "__main__":
    main()
