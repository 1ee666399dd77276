# Sourced by the scripts that run Windows programs: a Wine prefix of the build
# tree's own and a persistent wineserver. Without the persistent server, each
# program pays Wine's start-up, and Wine's background services inherit the
# caller's output pipes (ctest then waits for them forever).

tarn_wine_start() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot -u </dev/null >/dev/null 2>&1 || true
  trap tarn_wine_stop EXIT
}

tarn_wine_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
