#!/usr/bin/env bash
# Fuzz targets of the loaders (tests/fuzz), built natively with clang's libFuzzer, ASan and UBSan
# in build/fuzz.
#   scripts/fuzz.sh check              each target over its committed corpus plus a few seconds
#                                      of fuzzing (make test); one line per target, then
#                                      "fuzz: N passed, N failed"
#   scripts/fuzz.sh run [SECONDS] [TARGET...]
#                                      fuzz for as long as you like (make fuzz); new inputs go
#                                      to build/fuzz/found/<target>, failing ones to
#                                      build/fuzz/crashes/
# Targets are named as their corpus folders: profile, selection, selection_roundtrip,
# placeholder, volumes.
set -uo pipefail
cd "$(dirname "$0")/.."

mode=${1:-check}
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTW_FUZZ=ON >/dev/null || exit 1
cmake --build "$build" -j2 >/dev/null || { cmake --build "$build" -j1; exit 1; }

targets() { ls tests/fuzz/corpus; }

# fuzz TARGET SECONDS FOLDER: returns the fuzzer's status
fuzz() {
  local t=$1 seconds=$2 found=$3
  mkdir -p "$found" "$build/crashes"
  # The first folder takes what the run finds; the committed corpus is only read.
  "$build/bin/fuzz_$t" -max_total_time="$seconds" -print_final_stats=0 -rss_limit_mb=2048 \
    -artifact_prefix="$build/crashes/$t-" "$found" "tests/fuzz/corpus/$t"
}

case "$mode" in
  check)
    seconds=${TW_FUZZ_SECONDS:-4}
    passed=0 failed=0
    for t in $(targets); do
      log="$build/$t.log"
      rm -rf "$build/check/$t"  # each check starts from the committed corpus alone
      if fuzz "$t" "$seconds" "$build/check/$t" >"$log" 2>&1; then
        echo "fuzz $t: passed ($(grep -Eo 'DONE +cov: [0-9]+' "$log" | grep -Eo '[0-9]+$') edges)"
        passed=$((passed + 1))
      else
        echo "fuzz $t: FAILED, see $log"
        tail -30 "$log"
        failed=$((failed + 1))
      fi
    done
    echo "fuzz: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    ;;
  run)
    seconds=${2:-600}
    shift $(( $# > 1 ? 2 : 1 ))
    status=0
    for t in ${@:-$(targets)}; do
      echo "== fuzz_$t for $seconds s"
      fuzz "$t" "$seconds" "$build/found/$t" || status=1
    done
    exit $status
    ;;
  *)
    echo "usage: $0 check | run [SECONDS] [TARGET...]" >&2
    exit 2
    ;;
esac
