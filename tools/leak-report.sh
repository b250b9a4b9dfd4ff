#!/usr/bin/env bash
# Leak report of the sanitizer build without tests/lsan.supp: runs the unit and UI tests of
# build-asan with LeakSanitizer's full stack unwinding, so that stacks reach through the system
# libraries (built without frame pointers) into our code, and groups the reported leaks by the
# first frame of ours on their stack. Leaks with no frame of ours belong to the system libraries
# (their process-long caches, which tests/lsan.supp suppresses); a group under a frame of ours
# deserves a look, since a reference we never gave back shows up there even when a system library
# made the allocation (a module-wide suppression such as libglib would hide it).
#
# Usage: tools/leak-report.sh [CTEST ARGUMENTS]   e.g. tools/leak-report.sh -R NowPlaying
# Builds build-asan first. The full log is build-asan/leak-report.log.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DORMELUND_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)" >/dev/null
log=build-asan/leak-report.log
G_SLICE=always-malloc ASAN_OPTIONS="detect_leaks=1:fast_unwind_on_malloc=0:malloc_context_size=40" \
  LSAN_OPTIONS="print_suppressions=0" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  tools/test-env.sh ctest --test-dir build-asan -L 'unit|ui' --timeout 900 --output-on-failure \
  "$@" >"$log" 2>&1 || true
python3 - "$log" "$root/" <<'PYTHON'
import collections, re, sys

log, root = sys.argv[1], sys.argv[2]
text = open(log, errors="replace").read()
groups = collections.defaultdict(lambda: [0, 0, set()])
for block in re.split(r"\n(?=(?:Direct|Indirect) leak of )", text):
    head = re.match(r"(Direct|Indirect) leak of (\d+) byte\(s\) in (\d+) object", block)
    if not head:
        continue
    frames = re.findall(r"#\d+ 0x[0-9a-f]+ in (.+?) (\S+)$", block.split("\n\n")[0], re.M)
    ours, via = "(no frame of ours: a system library's own)", ""
    for i, (function, place) in enumerate(frames):
        if place.startswith(root) and "/tests/" not in place:
            ours = f"{function.split('(')[0]} {place[len(root):]}"
            via = " <- ".join(f[0].split("(")[0] for f in frames[max(1, i - 3):i])
            break
    group = groups[(head.group(1), ours)]
    group[0] += int(head.group(3))
    group[1] += int(head.group(2))
    if via:
        group[2].add(via)
print(f"{'objects':>8} {'bytes':>9}  kind      first frame of ours (and the calls below it)")
for (kind, ours), (objects, size, vias) in sorted(groups.items(), key=lambda g: -g[1][1]):
    print(f"{objects:>8} {size:>9}  {kind:<8}  {ours}")
    for via in sorted(vias)[:3]:
        print(f"{'':>30}via {via}")
summary = re.findall(r"\d+% tests passed.*", text)
print(summary[-1] if summary else "no test summary: see the log")
PYTHON
echo "full log: $log"
