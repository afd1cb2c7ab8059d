#!/usr/bin/env bash
# First backup of a generated tree (20,000 small files in 200 folders plus four files of
# 80 MiB): Tidewell's add with its real progress dialog, against a plain CopyFileW loop under
# Wine and native `cp -a` over the same files, all in this run. Prints times and ratios and
# saves a screenshot of the progress dialog during the first backup. Never a pass/fail on time.
#
# Usage: tests/bench/first-backup.sh [WINDOWS_BUILD_DIR]   (default build/win)
# Environment: TW_BENCH_PREFIX (Wine prefix, default build/bench/wineprefix), TW_BENCH_ROUNDS
# (default 2; the best round counts), TW_SCREENSHOT (default build/progress-dialog.png).
source "$(dirname "$0")/bench-env.sh" bench_first_backup "${1:-}"
rounds="${TW_BENCH_ROUNDS:-2}"
shot="${TW_SCREENSHOT:-$TW_ROOT/build/progress-dialog.png}"

root="$WINEPREFIX/drive_c/twbench"
src="$root/src"
if [ ! -f "$root/.generated" ]; then
  echo "Generating the tree in $src"
  rm -rf "$src"
  python3 - "$src" <<'EOF'
import os, random, sys
src = sys.argv[1]
rnd = random.Random(7)
for d in range(200):
    folder = os.path.join(src, "small", "folder%03d" % d)
    os.makedirs(folder)
    for f in range(100):
        size = rnd.randint(200, 8000)
        with open(os.path.join(folder, "file%03d.txt" % f), "wb") as out:
            out.write(bytes([65 + (d + f) % 26]) * size)
os.makedirs(os.path.join(src, "large"))
block = os.urandom(1 << 20)
for i in range(4):
    with open(os.path.join(src, "large", "big%d.bin" % i), "wb") as out:
        for _ in range(80):
            out.write(block)
EOF
  touch "$root/.generated"
fi
work="$root/work"
rm -rf "$work" "$root/trash"
mkdir -p "$work" "$root/trash"

min() { echo "if ($1 < $2) $1 else $2" | bc -l; }
declare -A best
for k in cp_tree cp_large copy_tree copy_large add_tree add_large engine_tree engine_large; do
  best[$k]=999999
done
files_tree=0; bytes_tree=0; bytes_large=0

mkdir -p "$(dirname "$shot")"; rm -f "$shot"
out="$root/bench-output.txt"; : >"$out"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1
  # The screenshot: as soon as the progress dialog of the first whole-tree backup shows.
  ( for i in $(seq 1 6000); do
      if xwininfo -root -tree 2>/dev/null | grep -q "Refreshing volume \.\.\."; then
        sleep 1.5; import -window root "$2"; break
      fi
      sleep 0.1
    done ) &
  shooter=$!
  n=0
  for set in tree large; do
    from="C:\\twbench\\src"; native="$4/src"
    if [ $set = large ]; then from="C:\\twbench\\src\\large"; native="$4/src/large"; fi
    for r in $(seq 1 "$3"); do
      # Each run starts with nothing waiting to be written back, and the order turns each
      # round, so no run pays for the writes of the one before it.
      if [ $((r % 2)) -eq 1 ]; then order="add engine copy cp"; else order="cp copy engine add"; fi
      for what in $order; do
        n=$((n + 1)); sync
        if [ $what = cp ]; then
          t0=$(date +%s.%N); cp -a "$native" "$4/work/cp$n"; t1=$(date +%s.%N)
          echo "RUN $r $set cp $(echo "$t1 - $t0" | bc -l)"
        else
          line=$(wine "$1" $what "$from" "C:\\twbench\\work\\$what$n" | tr -d "\r" | grep "^TIME")
          echo "RUN $r $set $what $line"
        fi
        # A whole tree'"'"'s copies are put aside, not deleted: files created soon after many were
        # deleted cost the Linux file system a search for inodes not freed recently, which
        # fell on whichever run came next. The large files are deleted, their discard awaited.
        if [ $set = tree ]; then
          mv "$4/work/"* "$4/trash/"; sync; sleep 2
        else
          rm -rf "$4/work/"*; sync; sleep 8
        fi
      done
    done
    # The large files are measured on a disk with nothing else in flight.
    rm -rf "$4/trash/"*; sync; sleep 30
  done
  kill $shooter 2>/dev/null; wait 2>/dev/null
  wineserver -k' bench "$exe" "$shot" "$rounds" "$root" | tee "$out"

while read -r _ r set what t rest; do
  best[${what}_$set]=$(min "$t" "${best[${what}_$set]}")
  if [ "$what" = copy ]; then
    n=$(sed -E 's/.*FILES ([0-9]+).*/\1/' <<<"$rest"); b=$(sed -E 's/.*BYTES ([0-9]+).*/\1/' <<<"$rest")
    if [ "$set" = tree ]; then files_tree=$n; bytes_tree=$b; else bytes_large=$b; fi
  fi
done < <(grep '^RUN' "$out" | sed -E 's/^RUN ([0-9]+) ([a-z]+) ([a-z]+) (TIME )?/RUN \1 \2 \3 /')
rm -rf "$work" "$root/trash"

gbps() { echo "$1 / $2 / 1000000000" | bc -l; }
ratio() { echo "$1 / $2" | bc -l; }
echo
echo "== First backup, best of $rounds rounds (seconds)"
printf 'whole tree, %s files, %s bytes:\n' "$files_tree" "$bytes_tree"
printf '  Tidewell add %.3f   engine alone %.3f   CopyFileW loop %.3f   cp -a %.3f\n' \
  "${best[add_tree]}" "${best[engine_tree]}" "${best[copy_tree]}" "${best[cp_tree]}"
printf '  Tidewell / CopyFileW loop = %.2f   engine alone / CopyFileW loop = %.2f   Tidewell / cp -a = %.2f\n' \
  "$(ratio "${best[add_tree]}" "${best[copy_tree]}")" \
  "$(ratio "${best[engine_tree]}" "${best[copy_tree]}")" "$(ratio "${best[add_tree]}" "${best[cp_tree]}")"
printf 'large files, 4 x 80 MiB:\n'
printf '  Tidewell add %.3f (%.2f GB/s)   engine alone %.3f (%.2f GB/s)   CopyFileW loop %.3f (%.2f GB/s)   cp -a %.3f (%.2f GB/s)\n' \
  "${best[add_large]}" "$(gbps "$bytes_large" "${best[add_large]}")" \
  "${best[engine_large]}" "$(gbps "$bytes_large" "${best[engine_large]}")" \
  "${best[copy_large]}" "$(gbps "$bytes_large" "${best[copy_large]}")" \
  "${best[cp_large]}" "$(gbps "$bytes_large" "${best[cp_large]}")"
printf '  Tidewell / CopyFileW loop = %.2f\n' "$(ratio "${best[add_large]}" "${best[copy_large]}")"
if [ -f "$shot" ]; then echo "screenshot of the progress dialog: $shot"; else echo "no screenshot taken" >&2; fi
