#!/usr/bin/env python3
"""The kill test: a backup killed under Wine at random moments loses nothing and leaves nothing.

A tree of a few thousand files (some of several MB, names that need Unicode) is backed up and
refreshed by tw_killtarget.exe; several runs are killed (SIGKILL of the Wine process running
it) at random moments while the originals keep changing; then one refresh runs to its end.
Checked afterwards: every copy equals its original byte for byte and carries its last-write
time; no temporary file of ours is left anywhere (volume, originals, the program's folder);
nothing outside the volume was written (the originals are as this script left them, a canary
folder beside the volume is untouched).

Usage: kill-test.py TW_KILLTARGET_EXE [--seed N] [--keep]
Runs under the Wine prefix of the environment (WINEPREFIX), with a wineserver that may be
persistent. Prints its figures on one line beginning "KILL TEST". Exit code 0 when all holds.
"""
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

TEMP_NAME = re.compile(r"^~tw[1-9a-f][0-9a-f]{0,7}-(0|[1-9a-f][0-9a-f]{0,15})\.tmp$")
NAMES = ["Résumé", "日本語のフォルダ", "Ελληνικά", "emoji 🎉 folder", "plain", "naïve café",
         "Кириллица", "mixed Ünïcödé ß"]
KILLS = 9


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Tree:
    """The originals, and what this script last wrote into each (path -> (sha256, mtime_ns))."""

    def __init__(self, root, scratch, rnd):
        self.root, self.scratch, self.rnd = root, scratch, rnd
        self.state = {}
        self.lock = threading.Lock()
        self.next_time = {}

    def write(self, path, data):
        # Each version gets a last-write time of its own, two seconds or more after the file's
        # previous one, so the change test (2-second steps) always sees it; and it replaces the
        # file whole, so no reader sees new bytes with the old time. It is written outside the
        # originals, where no scan finds it.
        now_ns = time.time_ns()
        t = max(now_ns, self.next_time.get(path, 0))
        t -= t % 100  # what a FILETIME can carry
        fresh = os.path.join(self.scratch, "next")
        with open(fresh, "wb") as f:
            f.write(data)
        os.utime(fresh, ns=(t, t))
        os.replace(fresh, path)
        self.next_time[path] = t + 4_000_000_000
        with self.lock:
            self.state[path] = (hashlib.sha256(data).hexdigest(), t)

    def data(self, size):
        return self.rnd.randbytes(size)

    def generate(self):
        files = []
        for i in range(48):
            top = NAMES[i % len(NAMES)] + " %02d" % i
            folder = os.path.join(self.root, top, "sub" if i % 3 else "")
            os.makedirs(folder, exist_ok=True)
            for j in range(64):
                name = "%s %03d%s" % (NAMES[(i + j) % len(NAMES)], j, [".txt", ".dat", ""][j % 3])
                files.append(os.path.join(folder, name))
        big_folder = os.path.join(self.root, "große Dateien")
        os.makedirs(big_folder)
        for k in range(6):
            files.append(os.path.join(big_folder, "big %d 📦.bin" % k))
        for path in files:
            self.write(path, self.data(self.size_for(path)))
        return files

    def size_for(self, path):
        if path.endswith(".bin"):
            return self.rnd.randint(2, 7) << 20
        return self.rnd.randint(0, 12000)

    def mutate_one(self, files):
        path = self.rnd.choice(files)
        if self.rnd.random() < 0.05:  # now and then a new file in an existing folder
            path = os.path.join(os.path.dirname(path), "new %d Ωmega.txt" % len(files))
            files.append(path)
        self.write(path, self.data(self.size_for(path)))


def find_pids(token):
    """Pids of the processes whose command line holds token (the Wine process of one run)."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                cmd = f.read()
        except OSError:
            continue
        if token.encode() in cmd:
            pids.append(int(entry))
    return pids


def kill_run(token):
    killed = False
    for pid in find_pids(token):
        try:
            os.kill(pid, signal.SIGKILL)
            killed = True
        except ProcessLookupError:
            pass
    return killed


def run_target(exe, mode, src, vol, selection, kill_after=None):
    """Runs one backup; kills it kill_after seconds after its walk began.

    Returns (killed, exit code, output lines). Never waits without bound: a helper process of
    Wine may keep the output pipe open after the run has gone."""
    token = windows_path(selection)  # on the command line of this run's processes only
    args = ["wine", exe, mode, windows_path(src), windows_path(vol) + "\\", token]
    proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    lines = []
    killed = False
    walk = threading.Event()

    def reader():
        for raw in proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            lines.append(line)
            if line == "WALK":
                walk.set()
        walk.set()

    t = threading.Thread(target=reader, daemon=True)
    t.start()
    if kill_after is not None:
        if not walk.wait(30):
            lines.append("(no walk within 30 s)")
        time.sleep(kill_after)
        if proc.poll() is None:
            killed = kill_run(token)
    try:
        rc = proc.wait(60)
    except subprocess.TimeoutExpired:
        kill_run(token)
        proc.kill()
        rc = proc.wait()
        lines.append("(killed after hanging for 60 s)")
    t.join(5)
    return killed, rc, lines


def walk_files(root):
    for folder, _, names in os.walk(root):
        for name in names:
            yield os.path.join(folder, name)


def main():
    exe = sys.argv[1]
    seed = int(sys.argv[sys.argv.index("--seed") + 1]) if "--seed" in sys.argv else None
    if seed is None:
        seed = random.randrange(1 << 30)
    rnd = random.Random(seed)
    # Wine's own session processes start with the first program of a session and inherit its
    # output: let them inherit nothing of the runs'.
    subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    base = tempfile.mkdtemp(prefix="tw-kill-")
    src = os.path.join(base, "originals")
    vol = os.path.join(base, "volume")
    prog = os.path.join(base, "program")
    canary = os.path.join(base, "canary")
    scratch = os.path.join(base, "scratch")
    for d in (src, prog, canary, scratch):
        os.makedirs(d)
    with open(os.path.join(canary, "untouched.txt"), "wb") as f:
        f.write(b"nothing may write here")
    canary_before = [(p, os.stat(p).st_mtime_ns) for p in walk_files(canary)]
    selection = os.path.join(prog, "Kill test.TWS")
    failures = []
    tree = Tree(src, scratch, rnd)
    files = tree.generate()
    total_bytes = sum(os.path.getsize(p) for p in files)
    print("generated %d files (%d MB) in %s, seed %d" % (len(files), total_bytes >> 20, base, seed),
          flush=True)

    # The originals keep changing while the runs are killed.
    stop = threading.Event()

    def mutator():
        while not stop.is_set():
            tree.mutate_one(files)
            time.sleep(0.01)

    kills = runs = unstarted = 0
    seen = set()  # temporaries found after a run, each counted once
    started = time.time()
    mut = threading.Thread(target=mutator, daemon=True)
    mut.start()
    try:
        for i in range(KILLS):
            mode = "add" if i == 0 else "refresh"
            delay = rnd.uniform(0.0, 2.0 if i == 0 else 0.8)
            killed, rc, lines = run_target(exe, mode, src, vol, selection, delay)
            runs += 1
            kills += killed
            print("run %d (%s): %s" % (runs, mode, "killed %.2f s into its walk" % delay
                                       if killed else "ended with %d" % rc), flush=True)
            seen.update(p for p in walk_files(base) if TEMP_NAME.match(os.path.basename(p)))
            if not killed and rc != 0:
                if lines:
                    failures.append("run %d (%s) ended with %d: %s" % (runs, mode, rc, lines))
                else:
                    # Now and then Wine fails to start a program just after one was killed,
                    # before any of ours runs: no fault of the backup, and the last run counts.
                    unstarted += 1
    finally:
        stop.set()
        mut.join()

    killed, rc, lines = run_target(exe, "refresh", src, vol, selection)
    runs += 1
    print("run %d (refresh): ended with %d %s" % (runs, rc, lines[-1:]), flush=True)
    if rc != 0:
        failures.append("the last refresh ended with %d: %s" % (rc, lines))

    # Every copy equals its original and carries its time.
    checked = 0
    drive_folder = os.path.join(vol, "From Drive Z") + os.path.abspath(src)
    with tree.lock:
        expected = dict(tree.state)
    for path, (digest, mtime) in expected.items():
        copy = drive_folder + path[len(src):]
        checked += 1
        try:
            with open(copy, "rb") as f:
                if hashlib.sha256(f.read()).hexdigest() != digest:
                    failures.append("copy differs: %s" % copy)
            if os.stat(copy).st_mtime_ns // 100 != mtime // 100:
                failures.append("copy has another time: %s" % copy)
        except OSError as e:
            failures.append("copy missing: %s (%s)" % (copy, e))
    # Nothing outside the volume written: the originals are what this script wrote.
    on_disk = set(walk_files(src))
    if on_disk != set(expected):
        failures.append("originals added or lost: %s" %
                        sorted(on_disk.symmetric_difference(expected))[:5])
    for path, (digest, mtime) in expected.items():
        with open(path, "rb") as f:
            if hashlib.sha256(f.read()).hexdigest() != digest or \
                    os.stat(path).st_mtime_ns != mtime:
                failures.append("original changed by a run: %s" % path)
    if [(p, os.stat(p).st_mtime_ns) for p in walk_files(canary)] != canary_before:
        failures.append("the canary folder was written")
    ours = {"originals", "volume", "program", "canary", "scratch"}
    unexpected = sorted(set(os.listdir(base)) - ours)
    if unexpected:
        failures.append("written beside the volume: %s" % unexpected)
    in_volume = set(walk_files(vol))
    wanted = {drive_folder + p[len(src):] for p in expected} | {os.path.join(vol, "VOLUME.TWV")}
    if in_volume != wanted:
        failures.append("extra or missing in the volume: %s" %
                        sorted(in_volume.symmetric_difference(wanted))[:5])
    leftovers_after = [p for p in walk_files(base) if TEMP_NAME.match(os.path.basename(p))]
    if leftovers_after:
        failures.append("temporary files left: %s" % leftovers_after[:5])

    print("KILL TEST seed %d: %d runs (%d not started by Wine), %d killed, %d files (%d MB) "
          "checked, %d temporaries left by the kills, %d after the last refresh, %.1f s" %
          (seed, runs, unstarted, kills, checked, total_bytes >> 20, len(seen),
           len(leftovers_after), time.time() - started))
    for f in failures[:20]:
        print("FAIL " + f)
    if "--keep" in sys.argv or failures:
        print("kept in " + base)
    else:
        shutil.rmtree(base)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
