# Sourced by the scripts that run Wine: a prefix of our own inside the build tree, so nothing
# touches the user's own Wine prefix or registry.
TW_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="$TW_ROOT/build/win/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No debugger on a crash (it can turn a crash into exit code 0); no Mono/Gecko install prompts.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"

tw_ensure_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix in $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Without a display: the wineserver started here must not own the later desktop.
    env -u DISPLAY wineboot -i >/dev/null 2>&1 || true
    # No window manager runs on the virtual display: unmanaged windows spare every hidden or
    # destroyed top-level window a 2 s wait for the manager that never answers.
    env -u DISPLAY wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      >/dev/null 2>&1 || true
  fi
  # Two removable drives for the tests, M: and N:, each the folder of that name in
  # C:\tw-disks: a test inserts a disk by making its folder and moves a disk to the other
  # letter by renaming it. Drive letters are read when the Wine server starts.
  local letter
  [ "${1:-}" = test-drives ] && for letter in m n; do
    if [ ! -L "$WINEPREFIX/dosdevices/$letter:" ]; then
      ln -s "../drive_c/tw-disks/$letter" "$WINEPREFIX/dosdevices/$letter:"
      env -u DISPLAY wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d floppy /f \
        >/dev/null 2>&1 || true
    fi
  done
  env -u DISPLAY wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}
