# Sourced by the Windows tests, with $build set to the build under test: a
# throwaway Wine prefix for this run, headless, without the .NET and HTML engines
# (nothing here needs them, and their setup is slow), removed at exit.
#
# Defines:
#   wine_bits   64 or 32, the bitness of the DLLs in $build (read from their header)
#   wine        the loader of that bitness: a 64-bit DLL loads only into a 64-bit
#               process and a 32-bit one only into a 32-bit process, and the
#               loader picks which system32 (64-bit) or SysWOW64 (32-bit) a bare
#               program name such as cscript or regsvr32 is taken from. Plain
#               `wine` is the 32-bit loader wherever Wine's 32-bit half is
#               installed, whatever the DLL.
#   win_path PATH   the Windows form of a path
#
# The prefix is always a 64-bit one, as 64-bit Windows is: its 32-bit programs
# run from SysWOW64 and see the 32-bit view of the registry. With
# $QUILLOR_WINE_TEMPLATE (a prefix booted once by scripts/test-windows), the
# prefix is a copy of it rather than booted anew.
. "$(dirname "${BASH_SOURCE[0]}")/wine_loaders.sh"

wine_bits=$(pe_bits "$build/quillor-8.71.dll")
if [ "$wine_bits" = 32 ]; then wine=$wine32_loader; else wine=$wine64_loader; fi
if ! wine_can_run "$wine_bits"; then
  echo "FAIL: this machine cannot run Wine's $wine_bits-bit loader ($wine): $(wine_cannot_run_why "$wine_bits")" >&2
  exit 1
fi

wine_prefix=$(mktemp -d /tmp/quillor-wine.XXXXXX)
export WINEPREFIX=$wine_prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
export WINELOADER=$wine
unset DISPLAY
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$wine_prefix"' EXIT
if [ -n "${QUILLOR_WINE_TEMPLATE:-}" ] && [ -f "$QUILLOR_WINE_TEMPLATE/system.reg" ]; then
  # The files of the booted prefix are linked, not copied (hundreds of megabytes):
  # Wine writes no system file in place, and rewrites its registry files whole
  # through new files; those are copied all the same.
  rmdir "$wine_prefix" && cp -al "$QUILLOR_WINE_TEMPLATE" "$wine_prefix"
  for f in "$QUILLOR_WINE_TEMPLATE"/*.reg; do cp --remove-destination "$f" "$wine_prefix/"; done
else
  "$(dirname "${BASH_SOURCE[0]}")/boot_prefix.sh" "$wine_prefix"
fi

# Z: is the root of the host's file system in every prefix.
win_path() {
  local p
  p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  printf 'Z:%s' "${p//\//\\}"
}
