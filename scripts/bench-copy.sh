#!/usr/bin/env bash
# Copy benchmark (not a test): Setup.exe installing a package of 2,000 files
# of 4 KiB under Wine, against a bare FindFirstFileA/CopyFileA loop copying
# the same package, several rounds alternating, in one prefix with a
# persistent server. Prints the ratio of the total times (goal: <= 1.25).
# Environment: SETUP_BUILD_ROOT (default build/), ROUNDS (default 5),
# FILES (default 2000).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/wine-env.sh" 2>/dev/null
tree="$SETUP_BUILD_ROOT/win64"
rounds="${ROUNDS:-5}"
files="${FILES:-2000}"

if [ ! -f "$tree/build.ninja" ]; then
  cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
fi
cmake --build "$tree" --target Setup bench_bare_copy >/dev/null

winpath() { printf 'Z:%s' "${1//\//\\}"; }

work="$SETUP_BUILD_ROOT/bench-copy"
pkg="$work/pkg"
rm -rf "$work"
mkdir -p "$pkg"

# The package: FILES files of 4 KiB, five of which the exclusion list
# matches, and a script that copies the whole directory.
python3 - "$pkg" "$files" <<'PY'
import os, sys
pkg, count = sys.argv[1], int(sys.argv[2])
excluded = ["backup1.bak", "backup2.bak", "old1.dat", "old2.dat", "~lock.tmp"]
names = excluded + ["file%05d.dat" % i for i in range(count - len(excluded))]
for name in names:
    with open(os.path.join(pkg, name), "wb") as f:
        f.write(os.urandom(4096))
with open(os.path.join(pkg, "setup.dat"), "wb") as f:
    f.write(b"[Options]\r\nMsgTitle=Benchmark\r\nSkipWelcome=1\r\nSkipInfo=1\r\n"
            b"[Copy]\r\n*=|*.bak,old*.dat,~*\r\n")
PY
expected=$((files - 5))

# A fresh installation: quillon.exe and Quillon.ini, nothing else.
fresh_install() {
  rm -rf "$work/app"
  mkdir -p "$work/app"
  printf 'MZ' > "$work/app/quillon.exe"
  printf '[General]\r\n' > "$work/app/Quillon.ini"
}
count_files() { find "$1" -maxdepth 1 -type f | wc -l; }
now() { date +%s.%N; }

# A server that is already running (another run in this prefix) is used
# and left running; one started here is stopped at the end.
wine_ensure_prefix
if env LC_ALL="$WINE_LOCALE" "$WINE_SERVER" -p </dev/null >/dev/null 2>&1; then
  trap wine_stop_server EXIT
fi
log="$work/wine.log"

run_setup() {
  fresh_install
  local start end
  start=$(now)
  (cd "$pkg" && timeout 600 env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" "$(winpath "$tree/Setup.exe")" \
     /exe "$(winpath "$work/app")" /ini "$(winpath "$work/app/Quillon.ini")" /silent) \
     >>"$log" 2>&1 || { echo "Setup.exe failed (exit $?), see $log" >&2; exit 1; }
  end=$(now)
  local copied=$(( $(count_files "$work/app") - 2 ))
  if [ "$copied" -ne "$expected" ]; then
    echo "Setup.exe copied $copied files, expected $expected" >&2
    exit 1
  fi
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }'
}

run_bare() {
  rm -rf "$work/bare"
  mkdir -p "$work/bare"
  local start end
  start=$(now)
  timeout 600 env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" "$(winpath "$tree/bench/bare_copy.exe")" \
    "$(winpath "$pkg")" "$(winpath "$work/bare")" >>"$log" 2>&1 \
    || { echo "bare_copy.exe failed, see $log" >&2; exit 1; }
  end=$(now)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }'
}

# One warm-up of each: the first program start of a server session is slow.
run_setup >/dev/null
run_bare >/dev/null

total_setup=0
total_bare=0
for ((round = 1; round <= rounds; round++)); do
  if ((round % 2)); then
    s=$(run_setup); b=$(run_bare)
  else
    b=$(run_bare); s=$(run_setup)
  fi
  printf 'round %d: Setup.exe %.3f s, bare loop %.3f s\n' "$round" "$s" "$b"
  total_setup=$(awk -v a="$total_setup" -v b="$s" 'BEGIN { print a + b }')
  total_bare=$(awk -v a="$total_bare" -v b="$b" 'BEGIN { print a + b }')
done
ratio=$(awk -v a="$total_setup" -v b="$total_bare" 'BEGIN { print a / b }')
printf 'Setup.exe %.3f s, bare loop %.3f s over %d rounds of %d files\n' \
  "$total_setup" "$total_bare" "$rounds" "$files"
printf 'ratio %.3f (goal <= 1.25)\n' "$ratio"
