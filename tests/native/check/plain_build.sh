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

# Sealing: setup.sum for the complete package, then a changed file is found.
"$exe" --seal "$pkg" > /dev/null; status=$?
[ "$status" = 0 ] || fail "exit status $status for --seal of the complete demo package (expected 0)"
[ "$(head -n 1 "$pkg/setup.sum")" = "setup.sum 1" ] || fail "setup.sum begins: $(head -n 1 "$pkg/setup.sum")"
grep -q " bin\\\\qcore.dll$" "$pkg/setup.sum" || fail "bin\\qcore.dll is not in: $(cat "$pkg/setup.sum")"
printf x >> "$pkg/readme.txt"
text="$("$exe" "$pkg")"; status=$?
[ "$status" = 2 ] || fail "exit status $status for a sealed package with a changed file (expected 2)"
grep -q "^${pkg}/setup.sum: error: 'readme.txt' has changed since the package was sealed .*\[seal-mismatch\]$" \
  <<<"$text" || fail "no seal-mismatch finding in: $text"

# Without libcrypto the checker still checks scripts, and says why it can
# neither seal nor check a seal.
nossl="$out-without-openssl"
cmake -S "$root" -B "$nossl" -DSETUP_CHECK_ONLY=ON -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON \
  > "$nossl.log" 2>&1 && cmake --build "$nossl" -j "$(nproc)" >> "$nossl.log" 2>&1 \
  || { cat "$nossl.log"; fail "the build without OpenSSL failed"; }
for args in "--seal $pkg" "$pkg"; do
  text="$("$nossl/setupcheck" $args 2>&1)"; status=$?
  [ "$status" = 3 ] || fail "without OpenSSL: exit status $status for setupcheck $args (expected 3)"
  grep -q "SHA-256 unavailable" <<<"$text" || fail "without OpenSSL, setupcheck $args says: $text"
done
rm "$pkg/setup.sum"
"$nossl/setupcheck" "$pkg" > /dev/null; status=$?
[ "$status" = 0 ] || fail "without OpenSSL: exit status $status for an unsealed package (expected 0)"

printf '[Options]\r\nHideWin=yes\r\n' > "$pkg/setup.dat"
"$exe" "$pkg" > /dev/null; status=$?
[ "$status" = 1 ] || fail "exit status $status with warnings only (expected 1)"
"$exe" "$pkg/missing" > /dev/null 2>&1; status=$?
[ "$status" = 3 ] || fail "exit status $status without a script (expected 3)"
echo "plain build of setupcheck: ok"
