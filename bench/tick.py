#!/usr/bin/env python3
"""How long a poll tick blocks the GUI thread, next to its floor.

Three programs take turns, tick by tick (each waits for its turn, the order rotates), so that
all of them meet the machine in the same state:
  - tick_driver: OnPollTimer on the real main window, events dispatched between the calls;
  - tick_driver in requests mode: the same process, only the tick's requests through the
    program's own client (separates what the tick adds to its requests from what the same
    requests cost in a GTK and WebKit process);
  - curl_floor: the same requests from a bare libcurl program, same options, a new connection
    each.
Two kinds of tick, against the local station:
  - clock ticks: the clock request alone (the song is not due);
  - song ticks: clock and song requests (the station's "bad-ends-at" fault leaves the stored
    song's end unreadable, so the refresh rule asks for the song at every tick).
The first tick of every program is left out (cold start; it always fetches the first song).
"""

import os
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

TICKS = int(os.environ.get("BENCH_TICKS", "400"))


def take_turns(commands):
    """Runs the commands in step: each tick of each one in turn, the order rotating."""
    running = [subprocess.Popen(c, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
               for c in commands]
    rows = [[] for _ in commands]
    try:
        for tick in range(TICKS + 1):
            for offset in range(len(running)):
                index = (tick + offset) % len(running)
                process = running[index]
                process.stdin.write("\n")
                process.stdin.flush()
                line = process.stdout.readline()
                if not line:
                    sys.exit(f"bench: {commands[index][0]} ended early")
                if tick > 0:
                    rows[index].append(tuple(int(v) for v in line.split()))
    finally:
        for process in running:
            process.stdin.close()
            benchlib.stop(process)
    return rows


def summary(rows):
    wall = [r[0] / 1000 for r in rows]
    cpu = [r[1] / 1000 for r in rows]
    return {"n": len(rows), "median": benchlib.median(wall), "p99": benchlib.percentile(wall, 0.99),
            "max": max(wall), "cpu": benchlib.median(cpu)}


def main():
    benchlib.enter_environment()
    driver = benchlib.program("tick_driver")
    floor = benchlib.program("curl_floor")
    ca = os.path.join(benchlib.STATE, "ca.pem")
    count = str(TICKS + 1)
    results = {}
    with benchlib.Station(TIME_SCALE=100, SONG_LENGTHS=36000) as station:
        for phase, requests in (("clock", "clock"), ("song", "clock+song")):
            if phase == "song":
                station.run("fault", "bad-ends-at", "song")
            station.run("counts", "reset")
            rows = take_turns([[driver, "--step", count],
                               [driver, "--step", count, requests],
                               [floor, "--step", "localhost:8443", ca, count]])
            results[phase] = [summary(r) for r in rows]
            print(f"{phase} ticks: requests the station answered: "
                  f"{station.control()['counts']}")

    def figures(s):
        return f"{s['median']:.2f} / {s['p99']:.2f} / {s['max']:.2f}"

    rows = []
    for phase, label in (("clock", "clock only"), ("song", "clock + song")):
        player, alone, bare = results[phase]
        rows.append({
            "bench": "tick",
            "figure": f"Tick block, {label} (ms, median / p99 / max, n={player['n']})",
            "player": figures(player), "floor": figures(bare),
            "ratio": player["median"] / bare["median"], "goal": "median <= 1.2x floor",
            "met": player["median"] <= 1.2 * bare["median"]})
        rows.append({
            "bench": "tick",
            "figure": f"Tick, {label}: its requests alone, in the player's process (ms)",
            "player": figures(alone), "floor": figures(bare),
            "ratio": alone["median"] / bare["median"], "goal": "report", "met": None})
        print(f"  {label}: CPU per tick (median): tick {player['cpu']:.2f} ms, requests alone "
              f"{alone['cpu']:.2f} ms, floor {bare['cpu']:.2f} ms")
    benchlib.report(rows, "1-tick")


if __name__ == "__main__":
    main()
