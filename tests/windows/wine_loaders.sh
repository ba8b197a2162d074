# Sourced by the Windows tests and scripts: where Wine's two loaders are, the
# bitness of a Windows DLL or program, and whether this machine can run a loader.
#
#   wine64_loader, wine32_loader   Debian keeps both outside PATH (its `wine` is a
#                                  script that prefers the 32-bit one)
#   pe_bits FILE                   64 or 32, from the file's PE header
#   wine_can_run 64|32             the loader is there and this kernel starts it
#   wine_cannot_run_why 64|32      why not, in a line
wine64_loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
wine32_loader=/usr/lib/wine/wine

pe_bits() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read(4096)
pe = struct.unpack_from("<I", data, 0x3C)[0]
machine = struct.unpack_from("<H", data, pe + 4)[0]
print({0x8664: 64, 0x14C: 32}[machine])
PY
}

loader_of_bits() { if [ "$1" = 32 ]; then echo "$wine32_loader"; else echo "$wine64_loader"; fi; }

wine_can_run() {
  local loader
  loader=$(loader_of_bits "$1")
  [ -x "$loader" ] && "$loader" --version >/dev/null 2>&1
}

wine_cannot_run_why() {
  local loader
  loader=$(loader_of_bits "$1")
  if [ "$1" = 32 ] && ! "$(dirname "${BASH_SOURCE[0]}")/kernel_runs_32bit.sh"; then
    # A kernel built or booted without 32-bit emulation (ia32_emulation=off)
    # refuses every 32-bit program with "Exec format error".
    echo "this kernel does not start 32-bit programs, which Wine's 32-bit loader is"
  elif [ ! -x "$loader" ]; then
    echo "$loader is not installed (scripts/setup-windows installs it)"
  else
    "$loader" --version 2>&1 | tail -1
  fi
}
