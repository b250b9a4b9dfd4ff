#!/usr/bin/env bash
# Installs what the tests need, builds a normal and a sanitizer (ASan+UBSan) configuration, and
# runs every test of both: unit tests, UI tests and end-to-end tests inside a private test
# environment (Xvfb + openbox, PulseAudio null sink, private D-Bus session).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash tools/install-deps.sh

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DORMELUND_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

status=0
for dir in build build-asan; do
  echo "== tests of $dir"
  tools/test-env.sh ctest --test-dir "$dir" --output-on-failure --timeout 900 || status=1
done
echo "== fuzzing (a short run of each target; tools/fuzz.sh SECONDS runs longer)"
tools/fuzz.sh --smoke || status=1
exit $status
