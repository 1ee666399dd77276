# Sourced by the scripts that run Windows programs: a Wine prefix of the build
# tree's own and a persistent wineserver. Without the persistent server, each
# program pays Wine's start-up, and Wine's background services inherit the
# caller's output pipes (ctest then waits for them forever).

# Whether 32-bit Wine is installed (its loader comes with wine32:i386).
tarn_wine32() {
  [ -x /usr/lib/wine/wine ]
}

# Whether the prefix starts a 64-bit program, and a 32-bit one where 32-bit
# Wine is installed. A prefix made before wine32 was installed starts neither
# ("could not load kernel32.dll, status c0000135").
tarn_wine_works() {
  wine cmd.exe /c echo tarn-wine-ok </dev/null 2>/dev/null | grep -q tarn-wine-ok || return 1
  if tarn_wine32; then
    wine 'C:\windows\syswow64\cmd.exe' /c echo tarn-wine-ok </dev/null 2>/dev/null |
      grep -q tarn-wine-ok || return 1
  fi
}

tarn_wine_boot() {
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot -u </dev/null >/dev/null 2>&1 || true
}

tarn_wine_start() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  trap tarn_wine_stop EXIT
  tarn_wine_boot
  if ! tarn_wine_works; then
    echo "== the Wine prefix $WINEPREFIX cannot start programs: making it anew"
    tarn_wine_stop
    rm -rf "$WINEPREFIX"
    tarn_wine_boot
    tarn_wine_works || echo "== warning: the new Wine prefix cannot start programs either"
  fi
}

tarn_wine_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
