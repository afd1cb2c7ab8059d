#!/usr/bin/env bash
# Ticking a folder of 20,000 small files in 200 subfolders in the Add page's tree, with every
# subfolder loaded in the tree, against a bare scan of the same folder in the same run (under
# Wine, on a virtual display). Prints each round, the best times and their ratio. Never a
# pass/fail on time.
#
# Usage: tests/bench/tick.sh [WINDOWS_BUILD_DIR]   (default build/win)
# Environment: TW_BENCH_PREFIX (Wine prefix, default build/bench/wineprefix), TW_BENCH_ROUNDS
# (default 4; the best round counts).
source "$(dirname "$0")/bench-env.sh" bench_tick "${1:-}"
rounds="${TW_BENCH_ROUNDS:-4}"

root="$WINEPREFIX/drive_c/twbench-tick"
if [ ! -f "$root/.generated" ]; then
  echo "Generating the folder in $root/src"
  rm -rf "$root"
  python3 - "$root/src/big" <<'PY'
import os, random, sys
src = sys.argv[1]
rnd = random.Random(7)
for d in range(200):
    folder = os.path.join(src, "folder%03d" % d)
    os.makedirs(folder)
    for f in range(100):
        with open(os.path.join(folder, "file%03d.txt" % f), "wb") as out:
            out.write(b"x" * rnd.randint(200, 8000))
PY
  touch "$root/.generated"
fi

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1
  wine "$1" "C:\\twbench-tick\\src\\big" "$2" | tr -d "\r"
  wineserver -k' bench "$exe" "$rounds"
