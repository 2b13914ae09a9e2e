# Sourced by the scripts that run Windows programs under Wine.
# Sets the environment for a headless run in the project's own prefix and
# offers prefix creation and the persistent server.
SETUP_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SETUP_BUILD_ROOT="${SETUP_BUILD_ROOT:-$SETUP_ROOT/build}"
export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$SETUP_BUILD_ROOT/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes its ANSI code page from the locale: cs_CZ gives 1250. It is
# given to Wine alone; the shells in between have no such locale installed.
WINE_LOCALE=cs_CZ.UTF-8
WINE_LOADER=/usr/lib/wine/wine64
WINE_SERVER=/usr/lib/wine/wineserver64

# Creates the prefix once, with the null graphics driver so that dialogs and
# message boxes are real windows without a display.
wine_ensure_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.setup-ready" ]; then
      rm -rf "$WINEPREFIX"
      env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
      env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      "$WINE_SERVER" -w
      touch "$WINEPREFIX/.setup-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# The server outlives the command that starts it, and so do Wine's own
# services (services.exe, explorer.exe, ...), which the first program
# starts: neither may hold a caller's output open, or a reader of that
# output (ctest, a pipe) waits for them forever. A warm-up start gives the
# services nothing to hold.
wine_start_server() {
  wine_ensure_prefix
  env LC_ALL="$WINE_LOCALE" "$WINE_SERVER" -p </dev/null >/dev/null 2>&1 || true
  env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}
# Runs a Windows program in the prefix.
wine_run() { env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" "$@"; }
wine_stop_server() { "$WINE_SERVER" -k 2>/dev/null || true; }

# A volume of 1 MiB (tmpfs) for the tests of a disk that runs full. The
# tests find it through SETUP_SMALL_VOLUME (as Wine names it) and skip,
# saying why, when it could not be mounted.
SMALL_VOLUME_DIR="$SETUP_BUILD_ROOT/small-volume"
small_volume_sudo() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo -n "$@"; fi; }
small_volume_mount() {
  mkdir -p "$SMALL_VOLUME_DIR"
  if mountpoint -q "$SMALL_VOLUME_DIR"; then small_volume_sudo umount "$SMALL_VOLUME_DIR" || true; fi
  local why
  if why="$(small_volume_sudo mount -t tmpfs -o size=1m,mode=1777 setup-small-volume \
              "$SMALL_VOLUME_DIR" 2>&1)"; then
    export SETUP_SMALL_VOLUME="Z:${SMALL_VOLUME_DIR//\//\\}"
  else
    unset SETUP_SMALL_VOLUME
    echo "note: the disk-full tests will be skipped: mounting a small volume was refused ($why)"
  fi
}
small_volume_unmount() {
  if mountpoint -q "$SMALL_VOLUME_DIR" 2>/dev/null; then
    small_volume_sudo umount "$SMALL_VOLUME_DIR" 2>/dev/null || true
  fi
}

# --- for the benchmarks

# A Linux path as Wine names it (drive Z:).
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# Builds the given targets of the 64-bit tree, configuring it first when needed.
bench_build() {
  local tree="$SETUP_BUILD_ROOT/win64"
  if [ ! -f "$tree/build.ninja" ]; then
    cmake -S "$SETUP_ROOT" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$SETUP_ROOT/cmake/mingw-x86_64.cmake" >/dev/null
  fi
  cmake --build "$tree" --target "$@" >/dev/null
}
# A persistent server for the caller: one already running (another run in
# this prefix) is used and left running; one started here stops at exit.
bench_server() {
  wine_ensure_prefix
  if env LC_ALL="$WINE_LOCALE" "$WINE_SERVER" -p </dev/null >/dev/null 2>&1; then
    trap wine_stop_server EXIT
  fi
}
