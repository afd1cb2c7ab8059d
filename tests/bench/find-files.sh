#!/usr/bin/env bash
# Find files on 20,000 files (200 folders) and 200,000 (2,000): the dialog from Go to done, for
# no match and for every file listed, against a plain FindFirstFileExW walk of the same tree in
# the same run; the worst reply to WM_NULL while it runs; Stop to Go enabled; Add of every row
# against SelectAll of the tree. Prints each round, the best times and ratios, and the ratio of
# the two tree sizes. Never a pass/fail on time; a wrong row count prints MISMATCH.
#
# Usage: tests/bench/find-files.sh [WINDOWS_BUILD_DIR]   (default build/win)
# Environment: TW_BENCH_PREFIX (Wine prefix, default build/bench/wineprefix), TW_BENCH_ROUNDS
# (default 2; the best round counts), TW_BENCH_SKIP_200K=1 to leave out the big tree.
source "$(dirname "$0")/bench-env.sh" bench_find_files "${1:-}"
rounds="${TW_BENCH_ROUNDS:-2}"
skip_large="${TW_BENCH_SKIP_200K:-0}"

root="$WINEPREFIX/drive_c/twbench-find"
generate() {  # folders, destination
  [ -f "$2/.generated" ] && return
  echo "Generating $1 folders of 100 files in $2"
  rm -rf "$2"
  python3 - "$1" "$2" <<'PY'
import os, sys
folders, dst = int(sys.argv[1]), sys.argv[2]
for d in range(folders):
    folder = os.path.join(dst, "folder%04d" % d)
    os.makedirs(folder)
    for f in range(100):
        with open(os.path.join(folder, "file%03d.txt" % f), "wb") as out:
            out.write(b"x" * (100 + f))
PY
  touch "$2/.generated"
}
generate 200 "$root/t20k"
[ "$skip_large" = 1 ] || generate 2000 "$root/t200k"

run() {  # tree name
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1
    wine "$1" "C:\\twbench-find\\$2" "$3" | tr -d "\r"
    wineserver -k' bench "$exe" "$1" "$rounds"
}
out20="$(run t20k)"
echo "== 20,000 files"
echo "$out20"
if [ "$skip_large" != 1 ]; then
  out200="$(run t200k)"
  echo "== 200,000 files"
  echo "$out200"
  best() { echo "$1" | awk -v k="$2" '$1 == "BEST" && $2 == k { print $3 }'; }
  for k in floor nomatch all; do
    awk -v a="$(best "$out200" $k)" -v b="$(best "$out20" $k)" -v k=$k \
      'BEGIN { printf "RATIO %s 200k/20k %.2f\n", k, a / b }'
  done
fi
