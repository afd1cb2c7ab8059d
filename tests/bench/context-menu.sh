#!/usr/bin/env bash
# "Mark for Tidewell" on 10,000 files in 100 folders through the registered TWContext.dll, into a
# selection file of 100,000 entries, against the floor in the same run (GetFileAttributesExW over
# the paths, one read and one write of the result's size). Prints each round, the best times and
# their ratio. Never a pass/fail on time; a wrong entry count prints MISMATCH.
#
# Usage: tests/bench/context-menu.sh [WINDOWS_BUILD_DIR]   (default build/win)
# Environment: TW_BENCH_PREFIX (Wine prefix, default build/bench/wineprefix), TW_BENCH_ROUNDS
# (default 3; the best round counts).
source "$(dirname "$0")/bench-env.sh" bench_context_menu "${1:-}"
rounds="${TW_BENCH_ROUNDS:-3}"
cmake --build "$build" --target TWContext >/dev/null
dll="$(cd "$build" && pwd)/bin/TWContext.dll"

root="$WINEPREFIX/drive_c/twbench-ctx"
if [ ! -f "$root/.generated" ]; then
  echo "Generating 10,000 files in 100 folders and a selection file of 100,000 entries"
  rm -rf "$root"
  python3 - "$root" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(100):
    folder = os.path.join(root, "data", "folder%03d" % d)
    os.makedirs(folder)
    for f in range(100):
        with open(os.path.join(folder, "file%03d.txt" % f), "wb") as out:
            out.write(b"x" * (100 + f))
program = os.path.join(root, "program")
os.makedirs(program)
with open(os.path.join(program, "Base.tws"), "wb") as out:
    for s in range(1000):
        out.write(b"[D:\\Projects\\Area%03d\\Part]\r\n" % s)
        for k in range(100):
            out.write(b"document-%03d-%03d.txt=#\r\n" % (s, k))
PY
  touch "$root/.generated"
fi

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1
  wine regsvr32 /s "$(winepath -w "$2")" >/dev/null 2>&1
  wine "$1" "C:\\twbench-ctx\\data" "C:\\twbench-ctx\\program\\" "$3" | tr -d "\r"
  wine regsvr32 /u /s "$(winepath -w "$2")" >/dev/null 2>&1
  wineserver -k' bench "$exe" "$dll" "$rounds"
