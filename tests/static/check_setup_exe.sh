#!/usr/bin/env bash
# Static checks of the shipped program, which cannot run on this machine:
# a 32-bit GUI executable that needs only Windows' own DLLs, carries its
# resources and stays small. Usage: check_setup_exe.sh path/to/Setup.exe
set -uo pipefail
exe="${1:?usage: check_setup_exe.sh Setup.exe}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
objdump=i686-w64-mingw32-objdump
max_size=106496
failed=0

report() { # ok|FAIL text
  printf '  %-4s %s\n' "$1" "$2"
  [ "$1" = ok ] || failed=1
}

if [ ! -f "$exe" ]; then
  echo "check_setup_exe: $exe does not exist" >&2
  exit 1
fi
echo "== $exe"

kind="$(file -b "$exe")"
case "$kind" in
  "PE32 executable (GUI) Intel 80386"*) report ok "file: $kind" ;;
  *) report FAIL "file: $kind (expected a PE32 GUI executable for i386)" ;;
esac

# Header fields read directly: PE signature, machine 0x14c, optional header
# magic 0x10b (PE32) and subsystem 2 (Windows GUI).
pe_offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
signature=$(od -An -tx1 -j"$pe_offset" -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$exe" | tr -d ' ')
magic=$(od -An -tx2 -j$((pe_offset + 24)) -N2 "$exe" | tr -d ' ')
subsystem=$(od -An -tu2 -j$((pe_offset + 24 + 68)) -N2 "$exe" | tr -d ' ')
[ "$signature" = 50450000 ] && [ "$machine" = 014c ] && [ "$magic" = 010b ] \
  && report ok "header: PE32, machine i386 (0x$machine)" \
  || report FAIL "header: signature $signature, machine 0x$machine, magic 0x$magic"
[ "$subsystem" = 2 ] && report ok "subsystem: 2 (Windows GUI)" \
  || report FAIL "subsystem: $subsystem (expected 2, Windows GUI)"

headers="$($objdump -p "$exe")" || { report FAIL "objdump cannot read the file"; headers=""; }
grep -q '^Subsystem[[:space:]]*00000002' <<<"$headers" \
  || report FAIL "objdump does not see subsystem 2"

# Only known system libraries, which Windows takes from the system directory
# whatever lies beside the program; the C and C++ runtimes are linked in.
# Any other import (version.dll among them) would be looked for in the
# package directory first: shell32, comdlg32, ole32 and version are loaded
# on first use, by full path.
allowed=(kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll)
loaded_on_use=(shell32.dll comdlg32.dll ole32.dll version.dll)
is_in() { # name list...
  local name="$1" a
  shift
  for a in "$@"; do [ "$a" = "$name" ] && return 0; done
  return 1
}
dlls="$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$headers" | tr -d '\r')"
if [ -z "$dlls" ]; then
  report FAIL "imports: no DLL import list found"
fi
for dll in $dlls; do
  lower="${dll,,}"
  case "$lower" in
    libstdc++*|libgcc*|libwinpthread*) report FAIL "imports: $dll (a MinGW runtime DLL)" ;;
    *) if is_in "$lower" "${allowed[@]}"; then
         report ok "imports: $dll"
       elif is_in "$lower" "${loaded_on_use[@]}"; then
         report FAIL "imports: $dll (loaded on first use, must not be imported)"
       else
         report FAIL "imports: $dll is no known system DLL (it would be looked for beside Setup.exe first)"
       fi ;;
  esac
done

# At start the system's own "no disk" box is turned off: the program imports
# SetErrorMode (Wine cannot show the box, and a child does not inherit the
# mode there).
grep -q '[[:space:]]SetErrorMode$' <<<"$headers" && report ok "imports: SetErrorMode" \
  || report FAIL "imports: no SetErrorMode (the system's 'no disk' box would wait for a person)"

# The program's code does without stack probes (cmake/windows.cmake), so
# its whole stack must be committed when it starts: a frame larger than a
# page could otherwise step over the guard page that grows the stack.
reserve=$(sed -n 's/^SizeOfStackReserve[[:space:]]*//p' <<<"$headers")
commit=$(sed -n 's/^SizeOfStackCommit[[:space:]]*//p' <<<"$headers")
if [ -n "$reserve" ] && [ "$reserve" = "$commit" ]; then
  report ok "stack: $((16#$commit)) bytes, all committed"
else
  report FAIL "stack: ${commit:-?} of ${reserve:-?} (hex) bytes committed; the code has no stack probes"
fi

# Zero-initialised state (the installer context, 17 KiB) belongs in .bss,
# which takes no room in the file; .data holds only a few initialised words.
data_hex=$($objdump -h "$exe" | awk '$2 == ".data" { print $3 }')
data_size=""
[ -z "$data_hex" ] || data_size=$((16#$data_hex))
if [ -n "$data_size" ] && [ "$data_size" -le 1024 ]; then
  report ok "initialised data: $data_size bytes"
else
  report FAIL "initialised data: ${data_size:-no .data section} bytes (zero-initialised state stored in the file?)"
fi

python3 "$here/pe_resources.py" "$exe" --messages "$root/res/messages.txt" || failed=1

size=$(stat -c %s "$exe")
if [ "$size" -le "$max_size" ]; then
  report ok "size: $size bytes (limit $max_size)"
else
  report FAIL "size: $size bytes, above the limit of $max_size"
fi

if [ "$failed" = 0 ]; then echo "== Setup.exe passes"; else echo "== Setup.exe FAILS"; fi
exit "$failed"
