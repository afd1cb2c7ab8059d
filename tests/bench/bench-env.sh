# Sourced by the benchmarks that run under Wine: a prefix of their own, the benchmark program
# built, Wine ready on an unmanaged display.
# Usage: source tests/bench/bench-env.sh TARGET [WINDOWS_BUILD_DIR]  (default build/win)
# Sets: build, exe (the program's full path), WINEPREFIX (TW_BENCH_PREFIX, default
# build/bench/wineprefix).
set -euo pipefail
export LC_ALL=C
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
source scripts/wine-env.sh
build="${2:-build/win}"
export WINEPREFIX="${TW_BENCH_PREFIX:-$TW_ROOT/build/bench/wineprefix}"

cmake --build "$build" --target "$1" >/dev/null
exe="$(cd "$build" && pwd)/bin/$1.exe"

tw_ensure_prefix
# No window manager runs on the virtual display: Wine would wait 2 s for one at every hide of a
# managed window, a cost no real desktop has. Unmanaged windows also get their captions drawn.
env -u DISPLAY wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
env -u DISPLAY wineserver -k >/dev/null 2>&1 || true
