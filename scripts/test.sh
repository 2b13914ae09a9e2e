#!/usr/bin/env bash
# Sets up everything on a fresh machine, builds the three trees and runs
# every test: native sanitizer tests and fuzz targets, the static checks of
# the shipped program, and the unit and end-to-end tests under Wine.
# FUZZ_SECONDS (default 60) bounds each fuzz target.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
source "$root/scripts/wine-env.sh"
wine_start_server
small_volume_mount
trap 'wine_stop_server; small_volume_unmount' EXIT
cd "$SETUP_BUILD_ROOT"
ctest --output-on-failure -j "${TEST_JOBS:-2}" "$@"
