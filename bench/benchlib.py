"""What the benchmarks share: the private environment they run in, the local station, and
measurements of processes read from /proc.

Every benchmark runs inside tools/test-env.sh (private X display, PulseAudio null sink
"test_sink", session bus, temporary HOME) and inside a network namespace of its own, where only
loopback exists: the station's fixed ports never meet anyone else's.
"""

import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import time
from array import array

BENCH = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(BENCH)
BUILD = os.path.abspath(os.environ.get("BENCH_BUILD", os.path.join(REPO, "build")))
STATION = os.path.join(REPO, "tools", "station", "station.sh")
# The player trusts <build>/station/ca.pem: the station keeps its state there.
STATE = os.path.join(BUILD, "station")
STREAM_URL = "http://localhost:8000/192kbps/;?type=http&nocache=7"
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
PAGE_SIZE = os.sysconf("SC_PAGE_SIZE")


def enter_environment():
    """Runs this script again inside the private desktop and network namespace, unless it
    already runs there; returns only inside."""
    if os.environ.get("BENCH_INSIDE") == "1":
        return
    command = [os.path.join(REPO, "tools", "test-env.sh"), "unshare", "--net", "--fork",
               "env", "BENCH_INSIDE=1", "bash", "-c", 'ip link set lo up && exec "$@"', "bench",
               sys.executable] + sys.argv
    sys.exit(subprocess.call(command))


def program(name):
    """Path of a program the build made (the player at the top, the rest under bench/)."""
    for folder in (BUILD, os.path.join(BUILD, "bench")):
        path = os.path.join(folder, name)
        if os.access(path, os.X_OK):
            return path
    sys.exit(f"bench: {name} is not built in {BUILD} (run bench/run-all.sh)")


class Station:
    """The local station, started with the given settings and stopped on leaving."""

    def __init__(self, **settings):
        self.env = dict(os.environ, STATION_WATCH_PID="0",
                        **{key: str(value) for key, value in settings.items()})

    def __enter__(self):
        self.run("start")
        return self

    def __exit__(self, *exc):
        self.run("stop")

    def run(self, *args):
        subprocess.run([STATION, "--dir", STATE, *args], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)

    def control(self):
        """The service's state: faults, counts, clock, song and time line."""
        out = subprocess.run(["curl", "-sS", "--max-time", "5", "http://127.0.0.1:8444/_control"],
                             check=True, capture_output=True, text=True).stdout
        return json.loads(out)


def start(command, **kwargs):
    """Starts a program with its output discarded unless asked for."""
    kwargs.setdefault("stdout", subprocess.DEVNULL)
    kwargs.setdefault("stderr", subprocess.DEVNULL)
    return subprocess.Popen(command, **kwargs)


def stop(process):
    """Ends a program this benchmark started, by its id, and waits for it."""
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def tree(pid):
    """The process and all its descendants (the web engine's processes are children)."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(ppid, []).append(int(entry))
    found, todo = [], [pid]
    while todo:
        current = todo.pop()
        found.append(current)
        todo.extend(children.get(current, []))
    return found


def cpu_seconds(pid):
    """User + system CPU time of a process (all its threads), seconds."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS
    except OSError:
        return 0.0


def process_name(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return str(pid)


def tree_cpu_seconds(pids):
    return {pid: cpu_seconds(pid) for pid in pids}


def thread_runtime_seconds(pid, tid):
    """CPU time of one thread from the scheduler's own account (nanoseconds), seconds."""
    with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
        return int(f.read().split()[0]) / 1e9


def status_field(path, name):
    with open(path) as f:
        for line in f:
            if line.startswith(name + ":"):
                return int(line.split()[1])
    return 0


def context_switches(pid):
    """Voluntary context switches of each thread of a process ({thread id: count}): each one is
    a sleep that ended in a wake-up."""
    counts = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            counts[int(tid)] = status_field(f"/proc/{pid}/task/{tid}/status",
                                            "voluntary_ctxt_switches")
        except OSError:
            pass  # the thread ended meanwhile
    return counts


def memory(pids):
    """USS (private pages), PSS and distinct resident pages of a set of processes, in MiB.

    USS and PSS are sums over the processes; a page that two of them share counts in neither
    one's USS. The distinct pages are the union of the physical pages all of them map, each
    counted once: what the set as a whole holds in memory, its own pages and the shared
    libraries' pages alike."""
    uss = pss = 0
    frames = set()
    for pid in pids:
        try:
            with open(f"/proc/{pid}/smaps_rollup") as f:
                for line in f:
                    name, _, rest = line.partition(":")
                    if name in ("Private_Clean", "Private_Dirty", "Private_Hugetlb"):
                        uss += int(rest.split()[0])
                    elif name == "Pss":
                        pss += int(rest.split()[0])
            frames |= resident_frames(pid)
        except OSError:
            continue
    mib = 1024.0
    return {"uss": uss / mib, "pss": pss / mib, "distinct": len(frames) * PAGE_SIZE / 1024 / mib}


def resident_frames(pid):
    """Physical frame numbers of every resident page of a process (needs root)."""
    ranges = []
    with open(f"/proc/{pid}/smaps") as f:
        current = None
        for line in f:
            first = line.split(None, 1)[0]
            if "-" in first and not first.endswith(":"):
                start, end = (int(part, 16) for part in first.split("-"))
                current = (start, end)
            elif first == "Rss:" and current and int(line.split()[1]) > 0:
                ranges.append(current)
    frames = set()
    present = 1 << 63
    pfn_mask = (1 << 55) - 1
    with open(f"/proc/{pid}/pagemap", "rb") as pagemap:
        for start, end in ranges:
            pagemap.seek(start // PAGE_SIZE * 8)
            entries = array("Q")
            entries.frombytes(pagemap.read((end - start) // PAGE_SIZE * 8))
            frames.update(entry & pfn_mask for entry in entries if entry & present)
    frames.discard(0)  # frame numbers hidden (no root): nothing to count
    return frames


def percentile(values, fraction):
    """The value below which `fraction` of the sorted values lie (nearest rank)."""
    ordered = sorted(values)
    rank = max(1, min(len(ordered), round(fraction * len(ordered) + 0.5)))
    return ordered[rank - 1]


def median(values):
    return statistics.median(values)


def machine():
    model = ""
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    memory_kib = status_field("/proc/meminfo", "MemTotal")
    with open("/proc/loadavg") as f:
        load = f.read().split()[0]
    return {"nproc": os.cpu_count(), "model": model, "memory_gib": round(memory_kib / 1048576, 1),
            "load": load}


def report(rows, name):
    """Prints the rows and, when BENCH_RESULTS names a folder, stores them there for the table
    of bench/run-all.sh. A row: figure, player, floor (text), ratio (number or None), goal,
    met (True, False or None)."""
    for row in rows:
        ratio = "" if row.get("ratio") is None else f"  {row['ratio']:.2f}x"
        verdict = {True: "  goal met", False: "  goal MISSED", None: ""}[row.get("met")]
        print(f"{row['figure']}: player {row['player']} | floor {row['floor']}{ratio}"
              f"  (goal: {row['goal']}){verdict}")
    folder = os.environ.get("BENCH_RESULTS")
    if folder:
        with open(os.path.join(folder, name + ".json"), "w") as f:
            json.dump(rows, f, indent=1, ensure_ascii=False)


def wait_until(condition, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


def ensure_mpv():
    """mpv, the leanest player of the same stream, installed from Debian when missing (before
    entering the namespace, which has no network). True when it can be run."""
    if shutil.which("mpv"):
        return True
    if os.environ.get("BENCH_INSIDE") == "1":
        return False
    print("bench: installing mpv (apt-get install mpv)", file=sys.stderr)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    install = sudo + ["apt-get", "install", "-y", "--no-install-recommends", "mpv"]
    if subprocess.call(install, env=env, stdout=subprocess.DEVNULL) != 0:
        subprocess.call(sudo + ["apt-get", "update"], stdout=subprocess.DEVNULL)
        subprocess.call(install, env=env, stdout=subprocess.DEVNULL)
    return shutil.which("mpv") is not None


MPV = ["mpv", "--no-config", "--no-video", "--really-quiet", "--ao=pulse"]
