#!/usr/bin/env bash
# Refresh of a backed-up tree (20,000 small files in 200 folders, then 200,000 in 2,000): the
# unchanged refresh under Wine against native `rsync -a` with nothing to do and against a plain
# Win32 probe that lists and compares both trees (the floor), then a refresh after known changes.
# The start-up check's refresh of the unchanged tree is timed against the wizard's refresh from
# the same saved selection in the same rounds.
# Tidewell.exe /REFRESH of the same volume is timed as a whole process started through wine (the
# program's start included) against the wizard's refresh run the same way, and against its time
# inside the process.
# Prints times, counts and ratios. Never a pass/fail on time; a wrong count prints MISMATCH.
#
# Usage: tests/bench/refresh.sh [WINDOWS_BUILD_DIR]   (default build/win)
# Environment: TW_BENCH_PREFIX (Wine prefix, default /tmp/twbench-refresh-prefix),
# TW_BENCH_ROUNDS (default 2; the best round counts), TW_BENCH_SKIP_200K=1 to leave out the
# 200,000-file tree (its generation and first backup take minutes).
set -euo pipefail
command -v rsync >/dev/null || { echo "rsync is needed as the native peer: apt-get install rsync" >&2; exit 2; }
export LC_ALL=C
# The change test packs local time; UTC keeps the chosen even seconds even.
export TZ=UTC
cd "$(dirname "$0")/../.."
source scripts/wine-env.sh
build="${1:-build/win}"
export WINEPREFIX="${TW_BENCH_PREFIX:-/tmp/twbench-refresh-prefix}"
rounds="${TW_BENCH_ROUNDS:-2}"
skip_large="${TW_BENCH_SKIP_200K:-0}"

cmake --build "$build" --target bench_refresh Tidewell >/dev/null
exe="$(cd "$build" && pwd)/bin/bench_refresh.exe"
program="$(cd "$build" && pwd)/bin/Tidewell.exe"

tw_ensure_prefix
# As in first-backup.sh, should anything ever open a window on a display without a manager.
env -u DISPLAY wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
env -u DISPLAY wineserver -k >/dev/null 2>&1 || true
# Nothing here opens a window, so no display; one wineserver for all runs keeps start-up cheap.
unset DISPLAY
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd /c exit >/dev/null 2>&1 || true

base="$WINEPREFIX/drive_c/twbench-refresh"
# 2026-01-01 00:00:00 UTC: an even second, so +1 s stays in the same DOS step and +4 s does not.
stamp=1767225600

generate() {  # folder count, destination
  python3 - "$1" "$2" "$stamp" <<'EOF'
import os, random, sys
folders, src, stamp = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
rnd = random.Random(7)
ns = stamp * 10**9
for d in range(folders):
    folder = os.path.join(src, "folder%04d" % d)
    os.makedirs(folder)
    for f in range(100):
        path = os.path.join(folder, "file%03d.txt" % f)
        with open(path, "wb") as out:
            out.write(bytes([65 + (d + f) % 26]) * rnd.randint(200, 8000))
        os.utime(path, ns=(ns, ns))
EOF
}

# 1% new size, 1% one second later (same step: not copied), 1% four seconds later (copied).
# Prints how many files the refresh must copy.
change() {  # source
  python3 - "$1" "$stamp" <<'EOF'
import os, sys
src, stamp = sys.argv[1], int(sys.argv[2])
ns = stamp * 10**9
expected = 0
for i, (folder, name) in enumerate(sorted(
        (r, n) for r, _, files in os.walk(src) for n in files)):
    path = os.path.join(folder, name)
    if i % 100 == 0:
        with open(path, "ab") as out:
            out.write(b"+")
        os.utime(path, ns=(ns, ns))
        expected += 1
    elif i % 100 == 1:
        os.utime(path, ns=(ns + 10**9, ns + 10**9))
    elif i % 100 == 2:
        os.utime(path, ns=(ns + 4 * 10**9, ns + 4 * 10**9))
        expected += 1
print(expected)
EOF
}

field() { tr ' ' '\n' | awk -v k="$1" 'take { print; exit } $0 == k { take = 1 }'; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? a : b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
now() { date +%s.%N; }

declare -A res
sizes="20k"
if [ "$skip_large" = 1 ]; then
  echo "200,000-file tree skipped (TW_BENCH_SKIP_200K=1)"
else
  sizes="20k 200k"
fi

for size in $sizes; do
  if [ "$size" = 20k ]; then folders=200; else folders=2000; fi
  root="$base/$size"
  src="$root/src"; native="$root/native"
  wsrc="C:\\twbench-refresh\\$size\\src"; wvol="C:\\twbench-refresh\\$size\\vol"
  rm -rf "$root"; mkdir -p "$root"
  echo "== $size: generating $((folders * 100)) files, first backup and native copy (not timed)"
  generate "$folders" "$src"
  line=$(wine "$exe" add "$wsrc" "$wvol" | tr -d '\r')
  echo "  first backup: $line"
  rsync -a "$src/" "$native/"
  # The program beside the saved selection, with a volume list naming the volume.
  cp "$program" "$root/Tidewell.exe"
  wine "$exe" volumes "$wsrc" "$wvol" >/dev/null

  for k in refresh select walk rsync probe wizard startup cmdline wizardproc; do res[${k}_$size]=999999; done
  for r in $(seq 1 "$rounds"); do
    # The order turns each round, so that no run always follows the same one.
    if [ $((r % 2)) -eq 1 ]; then order="refresh wizard cmdline startup rsync probe"
    else order="probe rsync startup cmdline wizard refresh"; fi
    for what in $order; do
      sync
      case $what in
        rsync)
          t0=$(now); rsync -a "$src/" "$native/"; t1=$(now)
          t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
          echo "  round $r rsync: TIME $t"
          res[rsync_$size]=$(min "$t" "${res[rsync_$size]}") ;;
        probe)
          line=$(wine "$exe" probe "$wsrc" "$wvol" | tr -d '\r')
          echo "  round $r probe: $line"
          res[probe_$size]=$(min "$(field TIME <<<"$line")" "${res[probe_$size]}")
          if [ "$(field DIFFERENT <<<"$line")" != 0 ]; then echo "  MISMATCH: the probe found differences"; fi ;;
        cmdline)
          set +e
          t0=$(now); out=$(wine "$root/Tidewell.exe" /REFRESH Bench /QUIET | tr -d '\r'); code=$?; t1=$(now)
          set -e
          t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
          echo "  round $r /REFRESH: TIME $t EXIT $code $out"
          res[cmdline_$size]=$(min "$t" "${res[cmdline_$size]}")
          if [ "$code" != 0 ]; then echo "  MISMATCH: the unchanged /REFRESH ended with $code, not 0"; fi ;;
        wizard|startup)
          t0=$(now)
          line=$(wine "$exe" "$what" "$wsrc" "$wvol" | tr -d '\r')
          t1=$(now)
          if [ "$what" = wizard ]; then
            t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
            res[wizardproc_$size]=$(min "$t" "${res[wizardproc_$size]}")
            line="$line PROCESS $t"
          fi
          echo "  round $r $what: $line"
          res[${what}_$size]=$(min "$(field TIME <<<"$line")" "${res[${what}_$size]}")
          if [ "$(field CHANGED <<<"$line")" != 0 ]; then echo "  MISMATCH: the unchanged $what refresh copied files"; fi ;;
        refresh)
          line=$(wine "$exe" refresh "$wsrc" "$wvol" | tr -d '\r')
          echo "  round $r refresh: $line"
          t=$(field TIME <<<"$line")
          if awk -v a="$t" -v b="${res[refresh_$size]}" 'BEGIN { exit !(a < b) }'; then
            res[refresh_$size]=$t
            res[select_$size]=$(field SELECT <<<"$line"); res[walk_$size]=$(field WALK <<<"$line")
          fi
          if [ "$(field CHANGED <<<"$line")" != 0 ]; then echo "  MISMATCH: the unchanged refresh copied files"; fi ;;
      esac
    done
  done

  expected=$(change "$src")
  sync
  line=$(wine "$exe" refresh "$wsrc" "$wvol" | tr -d '\r')
  echo "  refresh after changes: $line"
  changed=$(field CHANGED <<<"$line")
  res[changed_$size]=$changed; res[expected_$size]=$expected
  res[changedtime_$size]=$(field TIME <<<"$line")
  if [ "$changed" != "$expected" ]; then
    echo "  MISMATCH: FilesChanged $changed, expected $expected"
  fi
done

echo
echo "== Refresh, best of $rounds rounds (seconds)"
for size in $sizes; do
  printf '%s files, nothing changed:\n' "$size"
  printf '  Tidewell refresh %.3f (select %.3f + walk %.3f)   probe %.3f   rsync -a %.3f\n' \
    "${res[refresh_$size]}" "${res[select_$size]}" "${res[walk_$size]}" \
    "${res[probe_$size]}" "${res[rsync_$size]}"
  printf '  refresh / probe = %s (target <= 1.2)   refresh / rsync = %s (target <= 2)   walk alone / probe = %s\n' \
    "$(ratio "${res[refresh_$size]}" "${res[probe_$size]}")" \
    "$(ratio "${res[refresh_$size]}" "${res[rsync_$size]}")" \
    "$(ratio "${res[walk_$size]}" "${res[probe_$size]}")"
  printf '  start-up check %.3f   wizard refresh %.3f   start-up / wizard = %s (target <= 1.1)\n' \
    "${res[startup_$size]}" "${res[wizard_$size]}" \
    "$(ratio "${res[startup_$size]}" "${res[wizard_$size]}")"
  printf '  /REFRESH process %.3f   wizard refresh process %.3f   /REFRESH / wizard process = %s (target <= 1.1)   / wizard inside = %s\n' \
    "${res[cmdline_$size]}" "${res[wizardproc_$size]}" \
    "$(ratio "${res[cmdline_$size]}" "${res[wizardproc_$size]}")" \
    "$(ratio "${res[cmdline_$size]}" "${res[wizard_$size]}")"
  printf '%s files, 3%% touched: refresh %.3f, FilesChanged %s (expected %s)%s\n' "$size" \
    "${res[changedtime_$size]}" "${res[changed_$size]}" "${res[expected_$size]}" \
    "$([ "${res[changed_$size]}" = "${res[expected_$size]}" ] || echo '  MISMATCH')"
done
if [ "$skip_large" != 1 ]; then
  printf 'growth 200k / 20k: refresh %s (target <= 12)   probe %s   rsync %s\n' \
    "$(ratio "${res[refresh_200k]}" "${res[refresh_20k]}")" \
    "$(ratio "${res[probe_200k]}" "${res[probe_20k]}")" \
    "$(ratio "${res[rsync_200k]}" "${res[rsync_20k]}")"
fi
