# Sourced by the Windows tests: a throwaway Wine prefix for this run, headless,
# without the .NET and HTML engines (nothing here needs them, and their setup is
# slow), removed at exit. Defines win_path PATH (the Windows form of a path).
wine_prefix=$(mktemp -d /tmp/quillor-wine.XXXXXX)
export WINEPREFIX=$wine_prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$wine_prefix"' EXIT
wineboot --init >/dev/null 2>&1
wineserver -w

# Z: is the root of the host's file system in every prefix.
win_path() {
  local p
  p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  printf 'Z:%s' "${p//\//\\}"
}
