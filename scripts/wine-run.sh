#!/usr/bin/env bash
# Runs one Windows program under Wine, headless, as the Wine user (see
# wine-env.sh); CTest's cross-compiling emulator for the 64-bit tree.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
wine_ensure_prefix || exit 1
exec "${WINE_AS[@]}" env LC_ALL="$WINE_LOCALE" "$WINE_LOADER" "$@"
