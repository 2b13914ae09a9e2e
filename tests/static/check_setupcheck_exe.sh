#!/usr/bin/env bash
# Static checks of the shipped checker: a 32-bit console program that needs
# only Windows' own DLLs and stays small. Usage: check_setupcheck_exe.sh setupcheck.exe
set -uo pipefail
exe="${1:?usage: check_setupcheck_exe.sh setupcheck.exe}"
max_size=262144
failed=0
report() { printf '  %-4s %s\n' "$1" "$2"; [ "$1" = ok ] || failed=1; }

[ -f "$exe" ] || { echo "check_setupcheck_exe: $exe does not exist" >&2; exit 1; }
echo "== $exe"
kind="$(file -b "$exe")"
case "$kind" in
  "PE32 executable (console) Intel 80386"*) report ok "file: $kind" ;;
  *) report FAIL "file: $kind (expected a PE32 console executable for i386)" ;;
esac
for dll in $(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r'); do
  case "${dll,,}" in
    kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll) report ok "imports: $dll" ;;
    *) report FAIL "imports: $dll is not a Windows system DLL" ;;
  esac
done
size=$(stat -c %s "$exe")
[ "$size" -le "$max_size" ] && report ok "size: $size bytes (limit $max_size)" \
  || report FAIL "size: $size bytes, above the limit of $max_size"
exit "$failed"
