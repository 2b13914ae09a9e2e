#!/usr/bin/env bash
# The main job: builds Setup, creates a Quillon 3.10 installation in a Wine
# prefix of its own, installs examples/demo-package into it the way a user
# would (answering the dialog's questions), and reports what happened: the
# message boxes, the exit code, and what changed in files, INI entries and
# registry values. With Xvfb present it also saves a screenshot of the dialog.
set -euo pipefail
[ "${DEMO_TRACE:-0}" = 1 ] && set -x
root="$(cd "$(dirname "$0")/.." && pwd)"
SETUP_WITH_X=1 "$root/scripts/install-deps.sh" || SETUP_WITH_X=0 "$root/scripts/install-deps.sh"
build_log="$(mktemp)"
if ! "$root/scripts/build.sh" win64 win32 >"$build_log" 2>&1; then
  cat "$build_log" >&2
  exit 1
fi
rm -f "$build_log"
echo "Built build/win32/Setup.exe ($(stat -c %s "$root/build/win32/Setup.exe") bytes) and the 64-bit test build."

export SETUP_BUILD_ROOT="$root/build"
demo="$SETUP_BUILD_ROOT/demo"
export WINEPREFIX_OVERRIDE="$demo/wineprefix"
# The demo prepares its installation as the caller and runs Wine as the caller.
export SETUP_WINE_USER=""
source "$root/scripts/wine-env.sh"
wine_stop_server
rm -rf "$demo"
mkdir -p "$demo"
echo "Creating the demo Wine prefix (first start takes a few seconds)..."
wine_start_server
trap wine_stop_server EXIT

reg() { wine_run reg "$@" >/dev/null 2>&1; }

# --- a Quillon 3.10 installation in C:\Quillon
drive_c="$WINEPREFIX/drive_c"
inst="$drive_c/Quillon"
mkdir -p "$inst/bin" "$inst/help" "$inst/data/templates"
fixtures="$SETUP_BUILD_ROOT/win64/fixtures"
cp "$fixtures/version_3_10_0_5.exe" "$inst/bin/quillon.exe"
printf 'Quillon core library 3.10\n' > "$inst/bin/qcore.dll"
printf 'x' > "$inst/bin/render.tmp"
printf 'x' > "$inst/bin/print.tmp"
printf 'keep: not a .tmp file\n' > "$inst/bin/layout.tmpx"
printf '<html>Quillon 3.10</html>\n' > "$inst/help/index.html"
printf 'old page\n' > "$inst/help/intro.old"
printf 'settings of 3.10\n' > "$inst/data/settings.bak"
printf 'Quillon 3.10\r\n' > "$inst/readme.txt"
printf '[General]\r\nLanguage=cs\r\nVersion=3.10.0.5\r\nOldSpellChecker=1\r\n[Paths]\r\nBinDir=C:\\Quillon\\bin\r\nDataDir=C:\\Quillon\\data\r\n[Legacy]\r\nToolbar=classic\r\n' > "$inst/Quillon.ini"
reg add 'HKCR\Dokument Quillon\Shell\Open\Command' /ve /d '"C:\Quillon\bin\quillon.exe" /i "C:\Quillon\Quillon.ini"' /f
reg add 'HKCU\Software\Valtor CZ\Quillon' /v Company /d 'Valtor CZ s.r.o.' /f
reg add 'HKCU\Software\Valtor CZ\Quillon\3.0' /v LastVersion /d '3.10.0.5' /f

# --- the package: the example plus the programs the build made
pkg="$demo/package"
cp -r "$root/examples/demo-package" "$pkg"
cp "$SETUP_BUILD_ROOT/win64/Setup.exe" "$pkg/Setup.exe"
cp "$fixtures/version_4_0_0_1.exe" "$pkg/bin/quillon.exe"
cp "$fixtures/recorder.exe" "$pkg/bin/qmigrate.exe"

snapshot() { # directory state, INI file, registry
  (cd "$inst" && find . -type f | sort | while read -r f; do
     printf '%s  %s bytes  %s\n' "${f#./}" "$(stat -c %s "$f")" "$(md5sum < "$f" | cut -c1-8)"; done) > "$1.files"
  tr -d '\r' < "$inst/Quillon.ini" > "$1.ini"
  # reg.exe writes to a pipe in the console's (OEM) code page, 852 for Czech.
  { wine_run reg query 'HKCU\Software\Valtor CZ' /s 2>/dev/null || true; } | tr -d '\r' | iconv -f CP852 -t UTF-8 2>/dev/null | grep -av '^$' > "$1.reg" || true
}
snapshot "$demo/before"
changes() { # what differs between the two snapshots of one kind
  local lines
  lines=$(diff "$demo/before.$1" "$demo/after.$1" | grep -a '^[<>]' | sed 's/^</  -/; s/^>/  +/' || true)
  if [ -n "$lines" ]; then echo "$lines"; else echo "  (no change)"; fi
}

echo
echo "Rehearsing the installation first: Setup.exe /plan changes nothing and writes its plan..."
set +e
wine_run "$SETUP_BUILD_ROOT/win64/setup_driver.exe" \
  --exe "$(winpath "$pkg/Setup.exe")" --dir "$(winpath "$pkg")" \
  --args "/plan /log \"$(winpath "$demo/plan.log")\"" \
  --answer "Nainstalovat tento=YES" --timeout 60 --utf8 > "$demo/plan-driver.log" 2>&1
plan_code=$?
set -e
snapshot "$demo/planned"
echo "The plan (exit code $plan_code: 0 nothing would fail, 2 refused by the version check, 3 a line would fail):"
tr -d '\r' < "$demo/plan.log" | grep -a ' PLAN \| GATE \| DEFINE ' | cut -c25- | sed 's/^/  /'
if cmp -s "$demo/before.files" "$demo/planned.files" && cmp -s "$demo/before.ini" "$demo/planned.ini" \
   && cmp -s "$demo/before.reg" "$demo/planned.reg"; then
  echo "  (the rehearsal left files, Quillon.ini and the registry as they were)"
else
  echo "  WARNING: the rehearsal changed the installation"
fi

echo
echo "Running Setup.exe in the package directory, answering as a user would, with a log..."
set +e
RECORDER_LOG='C:\Quillon\data\migrate.log' wine_run "$SETUP_BUILD_ROOT/win64/setup_driver.exe" \
  --exe "$(winpath "$pkg/Setup.exe")" --dir "$(winpath "$pkg")" \
  --args "/log \"$(winpath "$demo/install.log")\"" \
  --answer "Nainstalovat tento=YES" --answer "aktualizov=OK" --answer "Instalace neprob=OK" \
  --timeout 60 --utf8 > "$demo/driver.log" 2>&1
code=$?
set -e
snapshot "$demo/after"

echo
echo "===================== Report ====================="
echo "Message boxes and dialog (driver log):"
tr -d '\r' < "$demo/driver.log" | sed 's/^/  /'
echo
echo "Exit code: $code  (0 installed, 1 nothing installed, 2 refused by the version check, 3 installed with failures, 4 stopped and undone)"
echo
echo "Files under C:\\Quillon (- before, + after):"
changes "files"
echo
echo "Quillon.ini (- before, + after):"
changes "ini"
echo
echo "Registry under HKCU\\Software\\Valtor CZ (- before, + after):"
changes "reg"
echo
echo "The run's log ($demo/install.log):"
tr -d '\r' < "$demo/install.log" | sed 's/^/  /'
if [ -f "$inst/data/migrate.log" ]; then
  echo
  echo "The [Run] line's program (qmigrate.exe) recorded:"
  tr -d '\r' < "$inst/data/migrate.log" | sed 's/^/  /'
fi

# --- a screenshot of the waiting dialog, drawn by Wine's X11 driver
if command -v Xvfb >/dev/null && command -v import >/dev/null; then
  wine_stop_server
  trap - EXIT
  export WINEPREFIX_OVERRIDE="$demo/xprefix"
  source "$root/scripts/wine-env.sh"
  display=":$((90 + RANDOM % 9))"
  Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY="$display"
  mkdir -p "$WINEPREFIX_OVERRIDE"
  env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
  "$WINE_SERVER" -w || true
  touch "$WINEPREFIX/.setup-ready"  # keep the X11 driver in this prefix
  env LC_ALL="$WINE_LOCALE" "$WINE_SERVER" -p </dev/null >/dev/null 2>&1 || true
  shot="$demo/dialog.png"
  xpkg="$demo/xpackage"
  cp -r "$root/examples/demo-package" "$xpkg"
  wine_run "$SETUP_BUILD_ROOT/win64/setup_driver.exe" --exe "$(winpath "$SETUP_BUILD_ROOT/win64/Setup.exe")" \
    --dir "$(winpath "$xpkg")" --answer "Program nenalezl=YES" \
    --set-install 'C:\Quillon' --set-program 'C:\Quillon\bin' --hold 10 --press cancel \
    --timeout 60 >/dev/null 2>&1 &
  drv=$!
  sleep 8
  import -window root "$shot" 2>/dev/null && echo && echo "Screenshot of the dialog: $shot" || echo "(screenshot failed)"
  wait "$drv" || true
  kill "$xvfb" 2>/dev/null || true
  wine_stop_server
fi
exit 0
