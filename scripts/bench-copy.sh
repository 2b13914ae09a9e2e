#!/usr/bin/env bash
# Copy benchmark (not a test): Setup.exe installing a package of 2,000 files
# of 4 KiB under Wine, against a bare FindFirstFileA/CopyFileA loop copying
# the same package (tests/bench/bare_copy.cpp), several rounds alternating,
# in one prefix with a persistent server. Cases (table below): targets that
# do not exist yet, targets that all exist already and are overwritten, and
# the same overwrite with rollback on (compared with the plain overwrite:
# goal <= 1.3); and one file of 256 MiB (BIG_MIB) replaced without and with
# rollback (its cost is reported: the old file's SHA-256 is read for the
# journal).
# Each program's own start is timed by a run over an empty package and taken
# off its copy times, so that Setup's window start (about 0.25 s more than a
# console program's under Wine) does not hide the cost per file. Prints per
# case both times, both start-up times (medians of the rounds) and the median
# of the rounds' ratios after subtraction (goal: <= 1.15).
# Environment: SETUP_BUILD_ROOT (default build/), ROUNDS (default 5),
# FILES (default 2000), CASES (names to run, default all).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Speed, not rights, is measured: Wine runs as the caller, root included.
export SETUP_WINE_USER=""
source "$root/scripts/wine-env.sh" 2>/dev/null
tree="$SETUP_BUILD_ROOT/win64"
rounds="${ROUNDS:-5}"
files="${FILES:-2000}"

# One case a line: name | targets before the run (none or existing) |
# an extra [Options] line for Setup.exe | extra Setup.exe arguments |
# the package (many: the 2,000 files; big: the one large file).
case_table=(
  "new|none|||many"
  "overwrite|existing|||many"
  "rollback|existing|Rollback=1||many"
  "big|existing|||big"
  "big-rollback|existing|Rollback=1||big"
)
selected="${CASES:-}"

bench_build Setup bench_bare_copy

work="$SETUP_BUILD_ROOT/bench-copy"
empty="$work/empty"      # Setup.exe's empty package: the script alone
nothing="$work/nothing"  # the bare loop's: an empty directory
rm -rf "$work"
mkdir -p "$work/many/pkg" "$work/many/old" "$work/big/pkg" "$work/big/old" "$empty" "$nothing"

# The package: FILES files of 4 KiB, five of which the exclusion list
# matches; "old" holds other content under the copied names, the targets of
# the overwrite case.
big_mib="${BIG_MIB:-256}"
for entry in "${case_table[@]}"; do
  [ "${entry##*|}" = big ] || continue
  name="${entry%%|*}"
  if [ -z "${CASES:-}" ] || [[ " $CASES " == *" $name "* ]]; then
    head -c "$((big_mib * 1024 * 1024))" /dev/urandom > "$work/big/pkg/large.dat"
    head -c "$((big_mib * 1024 * 1024))" /dev/urandom > "$work/big/old/large.dat"
    break
  fi
done
(cd "$work/big/pkg" && md5sum large.dat 2>/dev/null) > "$work/big/expected.md5" || true

python3 - "$work/many/pkg" "$work/many/old" "$files" <<'PY'
import os, sys
pkg, old, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
excluded = ["backup1.bak", "backup2.bak", "old1.dat", "old2.dat", "~lock.tmp"]
copied = ["file%05d.dat" % i for i in range(count - len(excluded))]
for name in excluded + copied:
    with open(os.path.join(pkg, name), "wb") as f:
        f.write(os.urandom(4096))
for name in copied:
    with open(os.path.join(old, name), "wb") as f:
        f.write(os.urandom(4096))
PY
(cd "$work/many/pkg" && md5sum file*.dat) > "$work/many/expected.md5"

write_script() { # package directory, extra [Options] line
  {
    printf '[Options]\r\nMsgTitle=Benchmark\r\nSkipWelcome=1\r\nSkipInfo=1\r\n'
    [ -z "$2" ] || printf '%s\r\n' "$2"
    printf '[Copy]\r\n*=|*.bak,old*.dat,~*\r\n'
  } > "$1/setup.dat"
}

# The target directory before a run: empty, or holding every target already.
prepare_targets() { # directory, none|existing
  rm -rf "$1"
  mkdir -p "$1"
  [ "$2" = none ] || cp -r "$work/$kind/old/." "$1/"
}
# Written back before the clock starts, not during the timed run.
settle() { sync; }
# A fresh installation for Setup.exe: quillon.exe and Quillon.ini beside
# the targets.
prepare_install() { # none|existing
  prepare_targets "$work/app" "$1"
  printf 'MZ' > "$work/app/quillon.exe"
  printf '[General]\r\n' > "$work/app/Quillon.ini"
}
check_copied() { # directory, program name
  if ! (cd "$1" && md5sum --quiet -c "$work/$kind/expected.md5" >/dev/null 2>&1); then
    echo "$2 did not leave the package's files ($kind) in $1" >&2
    exit 1
  fi
}

bench_server
log="$work/wine.log"

# Prints the seconds of one run; stops the benchmark when it fails.
timed() { # name, directory, program, arguments...
  local name="$1" dir="$2" figures
  shift 2
  figures=$(cd "$dir" && timeout 600 python3 "$root/scripts/timed_run.py" --log "$log" \
    env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" "$@") \
    || { echo "$name failed (exit $?), see $log" >&2; exit 1; }
  echo "${figures%% *}"
}
run_setup() { # package directory, targets (none|existing), extra arguments...
  local package="$1" targets="$2" seconds
  shift 2
  prepare_install "$targets"
  settle
  seconds=$(timed Setup.exe "$package" "$(winpath "$tree/Setup.exe")" /silent \
    /exe "$(winpath "$work/app")" /ini "$(winpath "$work/app/Quillon.ini")" "$@")
  [ "$package" = "$empty" ] || check_copied "$work/app" Setup.exe
  echo "$seconds"
}
run_bare() { # source directory, targets (none|existing)
  local seconds
  prepare_targets "$work/bare" "$2"
  settle
  seconds=$(timed bare_copy.exe "$work" "$(winpath "$tree/bench/bare_copy.exe")" \
    "$(winpath "$1")" "$(winpath "$work/bare")")
  [ "$1" = "$nothing" ] || check_copied "$work/bare" bare_copy.exe
  echo "$seconds"
}

cases=()
for entry in "${case_table[@]}"; do
  name="${entry%%|*}"
  if [ -z "$selected" ] || [[ " $selected " == *" $name "* ]]; then cases+=("$entry"); fi
done
[ ${#cases[@]} -gt 0 ] || { echo "no case named: $selected" >&2; exit 2; }

# One warm-up of each: the first program start of a server session is slow.
kind=many
write_script "$empty" ""
run_setup "$empty" none >/dev/null
run_bare "$nothing" none >/dev/null

results="$work/results.txt"
: > "$results"
for ((round = 1; round <= rounds; round++)); do
  # Start-up: each program over an empty package.
  if ((round % 2)); then
    s=$(run_setup "$empty" none); b=$(run_bare "$nothing" none)
  else
    b=$(run_bare "$nothing" none); s=$(run_setup "$empty" none)
  fi
  echo "start setup $s" >> "$results"
  echo "start bare $b" >> "$results"
  line="round $round: start-up Setup.exe $s s, bare loop $b s"
  for entry in "${cases[@]}"; do
    IFS='|' read -r name targets options arguments kind <<<"$entry"
    pkg="$work/$kind/pkg"
    write_script "$pkg" "$options"
    # shellcheck disable=SC2086  # the extra arguments are split on purpose
    if ((round % 2)); then
      s=$(run_setup "$pkg" "$targets" $arguments); b=$(run_bare "$pkg" "$targets")
    else
      b=$(run_bare "$pkg" "$targets"); s=$(run_setup "$pkg" "$targets" $arguments)
    fi
    kind=many
    echo "$name setup $s" >> "$results"
    echo "$name bare $b" >> "$results"
    line+="; $name: Setup.exe $s s, bare loop $b s"
  done
  echo "$line"
done

python3 - "$results" "$rounds" "$files" <<'PY'
import collections, statistics, sys
times = collections.defaultdict(list)
order = []
for line in open(sys.argv[1]):
    case, program, seconds = line.split()
    if case not in order:
        order.append(case)
    times[(case, program)].append(float(seconds))
# Medians: a run slowed by other work on the machine does not move them.
median = statistics.median
start_setup, start_bare = median(times[("start", "setup")]), median(times[("start", "bare")])
print("%s rounds of %s files; medians per run" % (sys.argv[2], sys.argv[3]))
print("start-up (empty package): Setup.exe %.3f s, bare loop %.3f s" % (start_setup, start_bare))
for case in order[1:]:
    setup_runs, bare_runs = times[(case, "setup")], times[(case, "bare")]
    setup, bare = median(setup_runs), median(bare_runs)
    # Each round's two runs were made moments apart: the median of the
    # rounds' ratios compares like with like.
    ratio = median((s - start_setup) / (b - start_bare) for s, b in zip(setup_runs, bare_runs))
    print("%-10s Setup.exe %.3f s, bare loop %.3f s; without start-up %.3f s and %.3f s; "
          "ratio %.3f (median of the rounds'; goal <= 1.15)"
          % (case + ":", setup, bare, setup - start_setup, bare - start_bare, ratio))
if ("rollback", "setup") in times and ("overwrite", "setup") in times:
    ratio = median((r - start_setup) / (o - start_setup)
                   for r, o in zip(times[("rollback", "setup")], times[("overwrite", "setup")]))
    print("rollback against the same overwrite without it: ratio %.3f (median of the rounds'; "
          "goal <= 1.3)" % ratio)
if ("big-rollback", "setup") in times and ("big", "setup") in times:
    ratio = median((r - start_setup) / (o - start_setup)
                   for r, o in zip(times[("big-rollback", "setup")], times[("big", "setup")]))
    print("one large file replaced with rollback against without it: ratio %.3f (median of the "
          "rounds'; reported)" % ratio)
PY
