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

# The README's sample output, line by line ("..." stands for the rest).
mkdir -p "$pkg/sample"
printf '[Options]\r\nVerProg={exe}quillon.exe\r\nMsgTitel=Aktualizace\r\nLangID=1\r\nMinVer=3.5:Old\r\n\r\n\r\n\r\n\r\n[Copy] \r\na.dll\r\nb.dll\r\nc.dll\r\n' > "$pkg/sample/setup.dat"
sample="$(cd "$pkg" && "$exe" sample)"
expected="$(sed -n '/^One finding a line, in the form compilers use/,/^1 errors, 2 warnings$/p' "$root/README.md" | grep -E '^(pkg/|1 errors)')"
[ "$(wc -l <<<"$expected")" = 4 ] || fail "the README's sample output is not where it was"
while IFS= read -r line; do
  grep -qF -- "${line%%... *}" <<<"${sample//sample\//pkg/}" || fail "README sample line not given: $line
$sample"
done <<<"$expected"

# The command line: help, a mistyped option, what cannot be read and why.
"$exe" -h | grep -q "^usage: setupcheck" || fail "-h gives no usage"
err="$("$exe" --jsn "$pkg" 2>&1 >/dev/null)"; status=$?
[ "$status" = 3 ] && grep -q "unknown option '--jsn'; did you mean --json?" <<<"$err" || fail "--jsn: $status $err"
mkdir -p "$pkg/empty" "$pkg/folder/setup.dat"
err="$("$exe" "$pkg/empty" 2>&1)"; status=$?
[ "$status" = 3 ] && grep -q "cannot read $pkg/empty/setup.dat: No such file or directory" <<<"$err" \
  || fail "a directory without setup.dat: $status $err"
err="$("$exe" "$pkg/folder" 2>&1)"; status=$?
[ "$status" = 3 ] && grep -q "cannot read $pkg/folder/setup.dat: Is a directory" <<<"$err" \
  || fail "a setup.dat that is a directory: $status $err"

# Control characters of the script reach no terminal: they are shown escaped.
printf '[Options]\r\nMsgTitel=\033]0;owned\007\033[2J\r\n' > "$pkg/setup.dat"
text="$("$exe" "$pkg")"
! grep -q $'\033' <<<"$text" && grep -q 'MsgTitel' <<<"$text" \
  || fail "control characters reach the output: $(cat -v <<<"$text")"
grep -q "'MsgTitel' is no option" <<<"$text" || fail "no finding for the escaped line: $text"

# --json --lines: one JSON document with the findings and the verdict of each line.
printf '[Options]\r\nHideWin=yes\r\n[Copy]\r\nmissing.dll\r\n' > "$pkg/setup.dat"
json="$("$exe" --json --lines "$pkg")"; status=$?
[ "$status" = 2 ] || fail "exit status $status of --json --lines with an error (expected 2)"
python3 -c '
import json, sys
document = json.load(sys.stdin)
assert [l["verdict"] for l in document["lines"]] == ["header", "skipped", "header", "runs", "empty"], document
assert document["lines"][3] == {"line": 4, "verdict": "runs", "section": "[Copy]"}, document
assert [(f["line"], f["kind"]) for f in document["findings"]] == [(2, "hidewin-value"), (4, "copy-source-missing")]
assert document["errors"] == 1 and document["warnings"] == 1, document
' <<<"$json" || fail "--json --lines output: $json"

# More than 1000 findings, warnings only: checking stops, and the package never passes.
{ printf '[Copy]\r\n'; for i in $(seq 1100); do printf '*.exe\r\n'; done; } > "$pkg/setup.dat"
text="$("$exe" "$pkg")"; status=$?
[ "$status" = 2 ] && grep -q "^0 errors, 1000 warnings; more than 1000 findings: checking stopped after line 1001 (exit status 2)$" <<<"$text" \
  || fail "more than 1000 findings: status $status, $(tail -n 1 <<<"$text")"

# Scripts no package has: bounded memory, the exit status each deserves.
python3 "$root/tests/native/check/hostile_inputs.py" "$exe" "$out" || fail "hostile inputs"
echo "plain build of setupcheck: ok"
