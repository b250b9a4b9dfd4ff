#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz and runs each one for a bounded time, starting from its
# committed seed corpus tests/fuzz/corpus/<target>/.
#
# Usage: tools/fuzz.sh --smoke      20 seconds per target (a step of tools/test.sh)
#        tools/fuzz.sh SECONDS      SECONDS per target
#
# Inputs that reach new code are kept in build-fuzz/corpus/<target>/ (the committed corpus stays as
# it is). An input that breaks a rule or trips a sanitizer is saved in
# build-fuzz/artifacts/<target>/ and makes the exit status 1; once the fault is fixed, add it to
# tests/fuzz/corpus/<target>/ as a regression seed, which the unit tests then replay in the normal
# and sanitizer builds.
set -euo pipefail
cd "$(dirname "$0")/.."

case ${1:-} in
  --smoke) seconds=20 ;;
  '' | *[!0-9]*) sed -n '6,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  *) seconds=$1 ;;
esac
targets=(parse_api_date current_song preferences)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORMELUND_FUZZ=ON \
  -DORMELUND_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

# The preferences target writes its files below TMPDIR; a crash leaves them here, not in /tmp.
export TMPDIR=$PWD/build-fuzz/tmp
mkdir -p "$TMPDIR" build-fuzz/logs
status=0
for target in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$target" "build-fuzz/artifacts/$target"
  log=build-fuzz/logs/$target.log
  if build-fuzz/tests/fuzz/"fuzz_$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -dict=tests/fuzz/json.dict -print_final_stats=1 \
    -artifact_prefix="build-fuzz/artifacts/$target/" \
    "build-fuzz/corpus/$target" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $target: $runs runs in $seconds s, no failure;" \
      "corpus $(find "build-fuzz/corpus/$target" -type f | wc -l) kept inputs"
  else
    status=1
    echo "fuzz $target: FAILED; input in build-fuzz/artifacts/$target/, log $log:" >&2
    grep -E -m 20 'rule broken|ERROR|SUMMARY|#[0-9]+ 0x' "$log" >&2 || tail -n 20 "$log" >&2
  fi
done
exit $status
