#!/usr/bin/env bash
# The build a package's CI makes: setupcheck alone, with the host's compiler
# and cmake only (-DSETUP_CHECK_ONLY=ON). Then the program itself on the demo
# package: its output lines, JSON and exit statuses.
# Usage: plain_build.sh BUILD_DIR
set -uo pipefail
out="${1:?usage: plain_build.sh BUILD_DIR}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
fail() { echo "FAIL: $*"; exit 1; }

cmake -S "$root" -B "$out" -DSETUP_CHECK_ONLY=ON > "$out.log" 2>&1 \
  && cmake --build "$out" -j "$(nproc)" >> "$out.log" 2>&1 || { cat "$out.log"; fail "the build failed"; }
exe="$out/setupcheck"
pkg="$(mktemp -d)"
trap 'rm -rf "$pkg"' EXIT
cp -r "$root/examples/demo-package/." "$pkg"

text="$("$exe" "$pkg")"; status=$?
[ "$status" = 2 ] || fail "exit status $status for the demo package without its programs (expected 2)"
grep -q "^$pkg/setup.dat:37: error: the source 'bin.quillon.exe' is not in the package: .* \[copy-source-missing\]$" <<<"$text" \
  || fail "no finding for line 37 in: $text"
[ "$(tail -n 1 <<<"$text")" = "2 errors, 0 warnings" ] || fail "summary: $(tail -n 1 <<<"$text")"

printf 'MZ' > "$pkg/bin/quillon.exe"
printf 'MZ' > "$pkg/bin/qmigrate.exe"
"$exe" "$pkg/setup.dat" > /dev/null; status=$?
[ "$status" = 0 ] || fail "exit status $status for the complete demo package (expected 0)"
"$exe" --json "$pkg" | python3 -c '
import json, sys
findings = json.load(sys.stdin)
assert len(findings) == 5 and all(f["severity"] == "note" for f in findings), findings
assert findings[0]["line"] == 11 and findings[0]["kind"] == "bound-range", findings[0]
' || fail "--json output"
"$exe" --lines "$pkg" | grep -q "setup.dat:28: runs \\[Copy\\]$" || fail "--lines output"

printf '[Options]\r\nHideWin=yes\r\n' > "$pkg/setup.dat"
"$exe" "$pkg" > /dev/null; status=$?
[ "$status" = 1 ] || fail "exit status $status with warnings only (expected 1)"
"$exe" "$pkg/missing" > /dev/null 2>&1; status=$?
[ "$status" = 3 ] || fail "exit status $status without a script (expected 3)"
echo "plain build of setupcheck: ok"
