#!/usr/bin/env bash
# Start-up benchmark (not a test): Setup.exe /silent over an empty script with
# the location given (/exe, /ini), against a blank program that shows one
# modal dialog and ends at once (tests/bench/blank_dialog.cpp), in paired
# runs under Wine (order alternating each round, one prefix, a persistent
# server). Prints the median and fastest time of each, the median of the
# rounds' time ratios (goal <= 1.15), and the median peak memory of each with
# their ratio (goal <= 1.2).
# Time: wall time from start to exit of the Wine process. Memory: its peak
# resident set size (scripts/timed_run.py): under Wine the Windows process
# is that Linux process, so the figure counts what a peak working set counts
# on Windows, private memory and the pages of every DLL the program loaded.
# Environment: SETUP_BUILD_ROOT (default build/), ROUNDS (default 40),
# SETUP_EXE (default build/win64/Setup.exe; another build to compare).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Speed, not rights, is measured: Wine runs as the caller, root included.
export SETUP_WINE_USER=""
source "$root/scripts/wine-env.sh" 2>/dev/null
tree="$SETUP_BUILD_ROOT/win64"
rounds="${ROUNDS:-40}"
setup_exe="${SETUP_EXE:-$tree/Setup.exe}"

bench_build Setup bench_blank_dialog

work="$SETUP_BUILD_ROOT/bench-startup"
rm -rf "$work"
mkdir -p "$work/pkg" "$work/app"
: > "$work/pkg/setup.dat"
printf 'MZ' > "$work/app/quillon.exe"
printf '[General]\r\n' > "$work/app/Quillon.ini"
log="$work/wine.log"

bench_server

# Prints "seconds peak_kib" of one run; stops the benchmark when it fails.
timed() { # name, program, arguments...
  local name="$1"; shift
  local figures
  figures=$(cd "$work/pkg" && timeout 120 python3 "$root/scripts/timed_run.py" --log "$log" \
    env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" "$@") \
    || { echo "$name failed (exit $?), see $log" >&2; exit 1; }
  echo "$figures"
}
run_setup() {
  timed Setup.exe "$(winpath "$setup_exe")" /silent \
    /exe "$(winpath "$work/app")" /ini "$(winpath "$work/app/Quillon.ini")"
}
run_blank() { timed blank_dialog.exe "$(winpath "$tree/bench/blank_dialog.exe")"; }

# Warm-up: the first starts of a server session are slow.
for _ in 1 2; do run_setup >/dev/null; run_blank >/dev/null; done

results="$work/results.txt"
: > "$results"
for ((round = 1; round <= rounds; round++)); do
  if ((round % 2)); then
    s=$(run_setup); b=$(run_blank)
  else
    b=$(run_blank); s=$(run_setup)
  fi
  echo "$s $b" >> "$results"
done

python3 - "$results" <<'PY'
import statistics, sys
rows = [list(map(float, line.split())) for line in open(sys.argv[1]) if line.strip()]
setup_t, setup_m, blank_t, blank_m = zip(*rows)
med = statistics.median
print("%d paired rounds" % len(rows))
for name, t, m in (("Setup.exe", setup_t, setup_m), ("blank dialog", blank_t, blank_m)):
    print("%-13s time median %.3f s (fastest %.3f s), peak memory median %.1f MiB"
          % (name, med(t), min(t), med(m) / 1024))
# Each round's ratio compares runs made moments apart; the median of them
# is little moved by other load on the machine. The fastest runs show the
# same without any load.
print("time ratio %.3f (median of the rounds' ratios; goal <= 1.15), fastest runs %.3f"
      % (med(s / b for s, b in zip(setup_t, blank_t)), min(setup_t) / min(blank_t)))
print("memory ratio %.3f (medians; goal <= 1.2)" % (med(setup_m) / med(blank_m)))
PY
