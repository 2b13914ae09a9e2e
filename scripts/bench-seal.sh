#!/usr/bin/env bash
# Seal benchmark (not a test), on a sealed package of 2,000 files of 4 KiB
# and four of 64 MiB:
# - under Wine, Setup.exe checking the seal (a script that copies nothing)
#   against a bare FindFirstFileW walk that hashes the same files with CNG
#   (tests/bench/bare_hash.cpp), in paired runs; each program's own start,
#   timed over an empty package, is taken off (goal: ratio <= 1.2);
# - natively, setupcheck --seal (the plain Release build a package's CI
#   makes) against sha256sum over the same files, in paired runs (goal:
#   ratio <= 1.2);
# - what the check adds to a whole run of that package: Setup.exe copying
#   every file with and without setup.sum.
# Prints the medians of the rounds and the medians of the rounds' ratios.
# Environment: SETUP_BUILD_ROOT (default build/), ROUNDS (default 3),
# SMALL_FILES (default 2000), LARGE_MIB (default 64).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/wine-env.sh" 2>/dev/null
tree="$SETUP_BUILD_ROOT/win64"
rounds="${ROUNDS:-3}"
small="${SMALL_FILES:-2000}"
large_mib="${LARGE_MIB:-64}"

bench_build Setup bench_bare_hash
plain="$SETUP_BUILD_ROOT/bench-seal-setupcheck"
if [ ! -f "$plain/Makefile" ] && [ ! -f "$plain/build.ninja" ]; then
  cmake -S "$root" -B "$plain" -DSETUP_CHECK_ONLY=ON >/dev/null
fi
cmake --build "$plain" -j "$(nproc)" >/dev/null

work="$SETUP_BUILD_ROOT/bench-seal"
pkg="$work/pkg"
empty="$work/empty"
rm -rf "$work"
mkdir -p "$pkg/small" "$pkg/large" "$empty"
python3 - "$pkg" "$small" "$large_mib" <<'PY'
import os, sys
pkg, count, mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(count):
    with open(os.path.join(pkg, "small", "file%05d.dat" % i), "wb") as f:
        f.write(os.urandom(4096))
for i in range(4):
    with open(os.path.join(pkg, "large", "large%d.bin" % i), "wb") as f:
        for _ in range(mib):
            f.write(os.urandom(1 << 20))
PY
script() { # file, sections
  printf '[Options]\r\nMsgTitle=Benchmark\r\nSkipWelcome=1\r\nSkipInfo=1\r\n%b' "$2" > "$1"
}
script "$empty/setup.dat" ""
script "$pkg/setup.dat" ""
"$plain/setupcheck" --seal "$pkg" >/dev/null
cp "$pkg/setup.sum" "$work/setup.sum"

bench_server
log="$work/wine.log"
results="$work/results.txt"
: > "$results"

# Seconds of one run of a command in a directory; stops the benchmark when
# it fails.
timed() { # name, directory, command...
  local name="$1" dir="$2" figures
  shift 2
  figures=$(cd "$dir" && timeout 900 python3 "$root/scripts/timed_run.py" --log "$log" "$@") \
    || { echo "$name failed (exit $?), see $log" >&2; exit 1; }
  echo "${figures%% *}"
}
app="$work/app"
prepare_install() {
  rm -rf "$app"
  mkdir -p "$app"
  printf 'MZ' > "$app/quillon.exe"
  printf '[General]\r\n' > "$app/Quillon.ini"
  sync
}
setup() { # package directory
  prepare_install
  timed Setup.exe "$1" env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" "$(winpath "$tree/Setup.exe")" \
    /silent /exe "$(winpath "$app")" /ini "$(winpath "$app/Quillon.ini")"
}
bare() { # directory
  timed bare_hash.exe "$work" env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" \
    "$(winpath "$tree/bench/bare_hash.exe")" "$(winpath "$1")"
}
seal_native() { timed setupcheck "$work" "$plain/setupcheck" --seal "$pkg"; }
sha256sum_all() { timed sha256sum "$pkg" bash -c 'find . -type f ! -name setup.sum -print0 | xargs -0 sha256sum >/dev/null'; }
whole_run() { # sealed|unsealed
  script "$pkg/setup.dat" '[Copy]\r\nsmall\\*.dat=small\\\r\nlarge\\*.bin=large\\\r\n'
  rm -f "$pkg/setup.sum"
  [ "$1" = unsealed ] || "$plain/setupcheck" --seal "$pkg" >/dev/null
  setup "$pkg"
  script "$pkg/setup.dat" ""
  cp "$work/setup.sum" "$pkg/setup.sum"
}

# Warm-up: the first start of a server session is slow, and the files get
# into the page cache.
setup "$empty" >/dev/null
bare "$pkg" >/dev/null
sha256sum_all >/dev/null

for ((round = 1; round <= rounds; round++)); do
  if ((round % 2)); then
    a=$(setup "$empty"); b=$(bare "$empty"); c=$(setup "$pkg"); d=$(bare "$pkg")
    e=$(seal_native); f=$(sha256sum_all)
    g=$(whole_run sealed); h=$(whole_run unsealed)
  else
    b=$(bare "$empty"); a=$(setup "$empty"); d=$(bare "$pkg"); c=$(setup "$pkg")
    f=$(sha256sum_all); e=$(seal_native)
    h=$(whole_run unsealed); g=$(whole_run sealed)
  fi
  printf 'start-setup %s\nstart-bare %s\ncheck-setup %s\ncheck-bare %s\nseal-native %s\nsha256sum %s\nrun-sealed %s\nrun-unsealed %s\n' \
    "$a" "$b" "$c" "$d" "$e" "$f" "$g" "$h" >> "$results"
  echo "round $round: Setup.exe checks the seal in $c s (start-up $a s), bare CNG loop $d s" \
    "(start-up $b s); setupcheck --seal $e s, sha256sum $f s; whole run sealed $g s, unsealed $h s"
done

python3 - "$results" "$rounds" "$small" "$large_mib" <<'PY'
import collections, statistics, sys
times = collections.defaultdict(list)
for line in open(sys.argv[1]):
    name, seconds = line.split()
    times[name].append(float(seconds))
m = statistics.median
print("%s rounds; a package of %s files of 4 KiB and 4 of %s MiB; medians" % tuple(sys.argv[2:5]))
ratio = m((c - a) / (d - b) for a, b, c, d in zip(times["start-setup"], times["start-bare"],
                                                   times["check-setup"], times["check-bare"]))
print("under Wine: Setup.exe checks the seal in %.3f s, the bare CNG loop hashes in %.3f s; "
      "without start-up (%.3f s, %.3f s) ratio %.3f (goal <= 1.2)"
      % (m(times["check-setup"]), m(times["check-bare"]), m(times["start-setup"]),
         m(times["start-bare"]), ratio))
ratio = m(s / h for s, h in zip(times["seal-native"], times["sha256sum"]))
print("natively: setupcheck --seal %.3f s, sha256sum %.3f s; ratio %.3f (goal <= 1.2)"
      % (m(times["seal-native"]), m(times["sha256sum"]), ratio))
added = m(s - u for s, u in zip(times["run-sealed"], times["run-unsealed"]))
print("a whole run copying the package: sealed %.3f s, unsealed %.3f s; the check adds %.3f s (%.0f %%)"
      % (m(times["run-sealed"]), m(times["run-unsealed"]), added,
         100 * added / m(times["run-unsealed"])))
PY
