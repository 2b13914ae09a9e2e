#!/usr/bin/env python3
"""Runs one command and prints "SECONDS PEAK_KIB": its wall time and the peak
resident set size of the process (ru_maxrss from wait4). Used by the
benchmarks for Wine programs: the Windows process runs inside the Linux
process that `wine64` starts, so its peak RSS is the counterpart of the
process's peak working set on Windows (private memory and the pages of the
loaded DLLs). The persistent wineserver is not part of it.

Usage: timed_run.py [--log FILE] [--] COMMAND [ARGS...]
The command's output is appended to FILE (default: discarded), its input is
/dev/null. Exits with the command's exit code.
"""
import os
import sys
import time


def main(argv):
    log = os.devnull
    args = argv[1:]
    if len(args) >= 2 and args[0] == "--log":
        log, args = args[1], args[2:]
    if args and args[0] == "--":
        args = args[1:]
    if not args:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    actions = [
        (os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, log, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644),
        (os.POSIX_SPAWN_DUP2, 1, 2),
    ]
    start = time.perf_counter()
    pid = os.posix_spawnp(args[0], args, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    print("%.4f %d" % (elapsed, usage.ru_maxrss))
    return os.waitstatus_to_exitcode(status)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
