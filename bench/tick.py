#!/usr/bin/env python3
"""How long a poll tick blocks the GUI thread, next to its floor.

tick_driver times OnPollTimer on the real main window (back to back, events dispatched between
the calls); curl_floor makes the same requests with a bare libcurl program (same options, a new
connection each). They take turns, ROUNDS times each, against the local station:
  - clock ticks: the clock request alone (the song is not due);
  - song ticks: clock and song requests (the station's "bad-ends-at" fault leaves the stored
    song's end unreadable, so the refresh rule asks for the song at every tick).
The first tick of every run is left out (cold start; it always fetches the first song).
"""

import os
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

ROUNDS = int(os.environ.get("BENCH_TICK_ROUNDS", "8"))
TICKS = int(os.environ.get("BENCH_TICKS", "50"))


def run(command):
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    rows = [tuple(int(v) for v in line.split()) for line in out.splitlines() if line.strip()]
    return rows[1:]


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
    results = {}
    with benchlib.Station(TIME_SCALE=100, SONG_LENGTHS=36000) as station:
        for phase in ("clock", "song"):
            if phase == "song":
                station.run("fault", "bad-ends-at", "song")
            player_rows, floor_rows, song_requests = [], [], 0
            for _ in range(ROUNDS):
                station.run("counts", "reset")
                player_rows += run([driver, str(TICKS + 1)])
                song_requests += station.control()["counts"].get(
                    "/station/ormelund-radio/current_song", 0)
                floor_rows += run([floor, "localhost:8443", ca, str(TICKS + 1)])
            results[phase] = (summary(player_rows), summary(floor_rows), song_requests)
            print(f"{phase} ticks: player song requests {song_requests} in "
                  f"{ROUNDS * (TICKS + 1)} ticks")

    rows = []
    for phase, label in (("clock", "clock only"), ("song", "clock + song")):
        player, bare, _ = results[phase]
        rows.append({
            "bench": "tick", "figure": f"Tick block, {label} (ms, median / p99 / max, n={player['n']})",
            "player": f"{player['median']:.2f} / {player['p99']:.2f} / {player['max']:.2f}",
            "floor": f"{bare['median']:.2f} / {bare['p99']:.2f} / {bare['max']:.2f}",
            "ratio": player["median"] / bare["median"], "goal": "median <= 1.2x floor",
            "met": player["median"] <= 1.2 * bare["median"],
            "extra": f"CPU per tick (median): player {player['cpu']:.2f} ms, "
                     f"floor {bare['cpu']:.2f} ms"})
    benchlib.report(rows, "1-tick")
    for row in rows:
        print("  " + row["extra"])


if __name__ == "__main__":
    main()
