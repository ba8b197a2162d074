#!/usr/bin/env bash
# Boots a 64-bit Wine prefix in DIR (empty or missing) for the Windows tests to
# copy ($QUILLOR_WINE_TEMPLATE), so that each test starts from a fresh prefix
# without booting one of its own: booting takes most of a minute on 2 cores,
# a copy under a second.
#
#   tests/windows/boot_prefix.sh DIR
set -euo pipefail
mkdir -p "$1"
export WINEPREFIX=$(cd "$1" && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY
. "$(dirname "$0")/wine_loaders.sh"
export WINELOADER=$wine64_loader
"$wine64_loader" wineboot --init >/dev/null 2>&1
wineserver -w
