#!/usr/bin/env python3
"""setupcheck on scripts no package has: 16 MiB of one kind of line each, a
50 MB script and an endless device. Each must end with its exit status and
stay under 64 MiB of memory (peak resident size); the figures are printed.

Usage: hostile_inputs.py SETUPCHECK WORK_DIR
"""
import os
import shutil
import subprocess
import sys
import time

LIMIT = 16 << 20
PEAK_MIB = 64


def repeated(line, first=b"", size=LIMIT):
    """`first`, then `line` as often as fits in `size` bytes, in pieces."""
    yield first
    count = (size - len(first)) // len(line)
    piece = line * max(1, 65536 // len(line))
    per_piece = len(piece) // len(line)
    while count > 0:
        take = min(count, per_piece)
        yield piece[:take * len(line)]
        count -= take


def numbered(form, first, size=LIMIT):
    yield first
    total, i = len(first), 0
    while total + len(form % i) <= size:
        line = form % i
        yield line
        total += len(line)
        i += 1


# name, the script in pieces (None: a link to /dev/zero), exit status
CASES = [
    ("line ends only", lambda: repeated(b"\r"), 0),
    ("comments", lambda: repeated(b";" + b"c" * 77 + b"\r\n"), 0),
    ("one long line", lambda: repeated(b"a", b"[Copy]\r\n"), 2),
    ("line feeds in a line", lambda: repeated(b"\n", b"a", LIMIT - 3), 2),
    ("headers", lambda: repeated(b"[\r"), 0),
    ("missing sources", lambda: repeated(b"b.dll\r\n", b"[Copy]\r\n"), 2),
    ("copies that work", lambda: repeated(b"a.dll\r\n", b"[Copy]\r\n"), 0),
    ("definitions", lambda: numbered(b"N%07d={des}a.ini;S;K\r\n", b"[readini]\r\n"), 1),
    ("options read twice", lambda: repeated(b"LangID=1\r\n", b"[Options]\r\n"), 2),
    ("one option of 16 MiB", lambda: repeated(b"v", b"[Options]\r\nMsgTitle=\"", LIMIT - 3), 1),
    ("50 MB of missing sources", lambda: repeated(b"b.dll\r\n", b"[Copy]\r\n", 50 * 1000 * 1000), 3),
    ("50 MB of comments", lambda: repeated(b";" + b"c" * 77 + b"\r\n", b"", 50 * 1000 * 1000), 3),
    ("a link to /dev/zero", None, 3),
]


def run(setupcheck, package):
    started = time.time()
    process = subprocess.Popen([setupcheck, package], stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    error = process.stderr.read().decode(errors="replace")
    _, status, usage = os.wait4(process.pid, 0)
    return (os.waitstatus_to_exitcode(status), time.time() - started,
            usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024, error)


def main():
    setupcheck, work = sys.argv[1], sys.argv[2]
    failures = 0
    for name, script, expected in CASES:
        package = os.path.join(work, "hostile")
        shutil.rmtree(package, ignore_errors=True)
        os.makedirs(package)
        with open(os.path.join(package, "a.dll"), "wb") as f:
            f.write(b"MZ")
        if script is None:
            os.symlink("/dev/zero", os.path.join(package, "setup.dat"))
        else:
            with open(os.path.join(package, "setup.dat"), "wb") as f:
                for piece in script():
                    f.write(piece)
                if name == "line feeds in a line":
                    f.write(b"b\r\n")
                elif name == "one option of 16 MiB":
                    f.write(b"\"\r\n")
        status, wall, cpu, peak, error = run(setupcheck, package)
        ok = status == expected and peak < PEAK_MIB
        if expected == 3:
            ok = ok and "larger than 16 MiB" in error
        failures += not ok
        print("%-26s exit %d  %5.1f s (cpu %5.1f s)  peak %5.1f MiB%s" %
              (name, status, wall, cpu, peak, "" if ok else "  FAIL (expected exit %d, under %d MiB) %s"
               % (expected, PEAK_MIB, error.strip())), flush=True)
        shutil.rmtree(package, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
