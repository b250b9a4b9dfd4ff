#!/usr/bin/env python3
"""Prints the results the benchmarks stored in a folder (BENCH_RESULTS) as one Markdown table,
with the date and the machine they ran on.

Usage: bench/table.py FOLDER [LOAD]   (LOAD: the load average when the run began)
"""

import glob
import json
import os
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402


def main():
    folder = sys.argv[1]
    machine = benchlib.machine()
    load = sys.argv[2] if len(sys.argv) > 2 else machine["load"]
    print(f"Run of {time.strftime('%Y-%m-%d %H:%M %Z')} on {machine['nproc']} x "
          f"{machine['model']}, {machine['memory_gib']} GiB; load average {load} at the start.")
    print()
    print("| Figure | Player | Floor | Player / floor | Goal | Met |")
    print("|---|---|---|---|---|---|")
    for path in sorted(glob.glob(os.path.join(folder, "*.json"))):
        with open(path) as f:
            rows = json.load(f)
        for row in rows:
            ratio = "" if row.get("ratio") is None else f"{row['ratio']:.2f}"
            met = {True: "yes", False: "**no**", None: ""}[row.get("met")]
            print(f"| {row['figure']} | {row['player']} | {row['floor']} | {ratio} | "
                  f"{row['goal']} | {met} |")
    missing = [name for name in ("1-tick", "2-idle", "3-playing", "4-startup", "5-song")
               if not os.path.exists(os.path.join(folder, name + ".json"))]
    if missing:
        print()
        print(f"No figures from: {', '.join(missing)} (see the messages above).")


if __name__ == "__main__":
    main()
