#!/usr/bin/env bash
# Builds what the benchmarks need, runs every benchmark (each side by side with its floor, in a
# private desktop and a network namespace of its own, against the local station) and prints the
# table of results. Takes about six minutes. Benchmarks print figures; they never fail a build
# or a test run, and none of them is part of ctest.
#
# Usage: bench/run-all.sh [BENCHMARK...]   (tick idle playing startup song_change; default all)
# BENCH_BUILD=build (the build folder; the player trusts <build>/station/ca.pem, where the
# station keeps its state).
set -uo pipefail
cd "$(dirname "$0")/.."
export BENCH_BUILD=${BENCH_BUILD:-build}
benchmarks=("$@")
[ ${#benchmarks[@]} -gt 0 ] || benchmarks=(tick idle playing startup song_change)
load=$(cut -d' ' -f1 /proc/loadavg)

cmake -S . -B "$BENCH_BUILD" -DORMELUND_BENCH=ON >/dev/null || exit 1
cmake --build "$BENCH_BUILD" -j2 --target ormelund-radio ormelund-radio-poll tick_driver \
  curl_floor loop_driver bare_page window_wait >/dev/null || exit 1
# mpv is the second floor of the playing and start-up figures; the namespace has no network,
# so it is installed here, before entering it.
python3 -B -c 'import sys; sys.path.insert(0, "bench"); import benchlib; benchlib.ensure_mpv()'

BENCH_RESULTS=$(mktemp -d)
export BENCH_RESULTS
trap 'rm -rf "$BENCH_RESULTS"' EXIT
# One environment for all: inside it each benchmark starts and stops its own station.
tools/test-env.sh unshare --net --fork env BENCH_INSIDE=1 bash -c '
  ip link set lo up
  for name in "$@"; do
    echo "== $name"
    python3 -B "bench/$name.py" || echo "bench: $name failed" >&2
  done' bench "${benchmarks[@]}" 2> >(grep -v -E "dbus-daemon|a11y|atspi|SpiRegistry" >&2)
echo
python3 -B bench/table.py "$BENCH_RESULTS" "$load"
