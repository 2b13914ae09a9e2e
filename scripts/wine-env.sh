# Sourced by the scripts that run Windows programs under Wine.
# Sets the environment for a headless run in the project's own prefix and
# offers prefix creation and the persistent server.
SETUP_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SETUP_BUILD_ROOT="${SETUP_BUILD_ROOT:-$SETUP_ROOT/build}"
# Wine runs as an ordinary user, as Setup's users run it: root may write
# read-only files and any directory, a Windows user may not. Started by
# root (CI, sudo), Wine runs as SETUP_WINE_USER (made on first use, with a
# prefix of its own: Wine refuses a prefix that its user does not own);
# started by anyone else, as that user. SETUP_WINE_USER= (set, empty) keeps
# root, as the demo does.
if [ "$(id -u)" = 0 ]; then
  export SETUP_WINE_USER="${SETUP_WINE_USER-setup-tester}"
else
  SETUP_WINE_USER=""
fi
if [ -n "$SETUP_WINE_USER" ]; then
  export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$SETUP_BUILD_ROOT/wineprefix-$SETUP_WINE_USER}"
else
  export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$SETUP_BUILD_ROOT/wineprefix}"
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes its ANSI code page from the locale: cs_CZ gives 1250. File
# names pass through the C library's locale, so cs_CZ.UTF-8 must be
# generated (scripts/install-deps.sh does) for names with Czech letters. It
# is given to Wine alone; the shells in between keep theirs.
WINE_LOCALE=cs_CZ.UTF-8
WINE_LOADER=/usr/lib/wine/wine64
WINE_SERVER=/usr/lib/wine/wineserver64

# The command words that run a command as the Wine user, with that user's
# home and name and the caller's other environment; none without such a
# user. Set by wine_user_ensure.
WINE_AS=()
wine_as() { "${WINE_AS[@]}" "$@"; }
# Makes the Wine user once. It must reach the build tree: where a parent
# directory shuts others out (a checkout under a private directory), it
# gets the right to read and search every directory, and no right to write
# (its refusals stay a user's).
wine_user_ensure() {
  WINE_AS=()
  [ -n "$SETUP_WINE_USER" ] || return 0
  if ! getent passwd "$SETUP_WINE_USER" >/dev/null; then
    useradd --system --user-group --create-home --home-dir "/var/lib/$SETUP_WINE_USER" \
      --shell /usr/sbin/nologin --comment "Wine user of the Setup tests" "$SETUP_WINE_USER" \
      || getent passwd "$SETUP_WINE_USER" >/dev/null \
      || { echo "error: cannot make the user $SETUP_WINE_USER that runs Wine" >&2; return 1; }
  fi
  local home caps=()
  home="$(getent passwd "$SETUP_WINE_USER" | cut -d: -f6)"
  # Listed, not tested with test -r: access() ignores the capability.
  mkdir -p "$SETUP_BUILD_ROOT"
  local reach=(ls "$SETUP_BUILD_ROOT")
  local as=(setpriv --reuid="$SETUP_WINE_USER" --regid="$SETUP_WINE_USER" --init-groups)
  if ! "${as[@]}" "${reach[@]}" >/dev/null 2>&1; then
    caps=(--inh-caps=+dac_read_search --ambient-caps=+dac_read_search)
    "${as[@]}" "${caps[@]}" "${reach[@]}" >/dev/null 2>&1 || {
      echo "error: the user $SETUP_WINE_USER cannot reach $SETUP_BUILD_ROOT" >&2; return 1; }
  fi
  WINE_AS=("${as[@]}" "${caps[@]}" env -u XDG_RUNTIME_DIR HOME="$home" USER="$SETUP_WINE_USER"
           LOGNAME="$SETUP_WINE_USER")
}

WINE_USER_FAILED=0
wine_user_ensure || WINE_USER_FAILED=1

# Creates the prefix once, with the null graphics driver so that dialogs and
# message boxes are real windows without a display. A prefix that another
# user owns (an older run as root) is made anew.
wine_ensure_prefix() {
  [ "$WINE_USER_FAILED" = 0 ] || return 1
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    local owner="${SETUP_WINE_USER:-$(id -un)}"
    if [ -e "$WINEPREFIX" ] && [ "$(stat -c %U "$WINEPREFIX")" != "$owner" ]; then
      rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/.setup-ready" ]; then
      rm -rf "$WINEPREFIX"
      mkdir -p "$WINEPREFIX"
      [ -z "$SETUP_WINE_USER" ] || chown "$SETUP_WINE_USER:" "$WINEPREFIX"
      wine_as env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
      wine_as env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      wine_as "$WINE_SERVER" -w
      wine_as touch "$WINEPREFIX/.setup-ready"
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
  wine_as env LC_ALL="$WINE_LOCALE" "$WINE_SERVER" -p </dev/null >/dev/null 2>&1 || true
  wine_as env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}
# Runs a Windows program in the prefix.
wine_run() { wine_as env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" "$@"; }
wine_stop_server() { wine_as "$WINE_SERVER" -k 2>/dev/null || true; }

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
  if wine_as env LC_ALL="$WINE_LOCALE" "$WINE_SERVER" -p </dev/null >/dev/null 2>&1; then
    trap wine_stop_server EXIT
  fi
}
