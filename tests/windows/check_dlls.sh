#!/usr/bin/env bash
# Checks the DLLs of one Windows build with objdump, without running them: the
# target format, the exports undecorated and nothing else (the four of COM,
# QuillorRelease and the C interface's calls, as exports.def lists them), imports
# of system DLLs only, and the release's type library embedded byte for byte.
#
#   tests/windows/check_dlls.sh BUILD_DIR pei-x86-64|pei-i386
set -euo pipefail
build=$1
format=$2
case $format in
  pei-i386) objdump=i686-w64-mingw32-objdump ;;
  *) objdump=x86_64-w64-mingw32-objdump ;;
esac
allowed='^(ADVAPI32|KERNEL32|msvcrt|ODBC32|ole32|OLEAUT32)\.dll$'
# The names exports.def gives, and no others.
mapfile -t expected < <(sed -n 's/^  \([A-Za-z_]*\).*/\1/p' "$(dirname "$0")/../../component/deliverable/windows/exports.def")
[ "${#expected[@]}" -ge 23 ] || { echo "FAIL: exports.def lists ${#expected[@]} names"; exit 1; }
failed=0
for release in 8.71 8.61 8.50; do
  dll=$build/quillor-$release.dll
  tlb=$build/component/deliverable/windows/quillor_$([ "$release" = 8.71 ] && echo 871 || echo 861).tlb
  problems=()
  "$objdump" -f "$dll" | grep -q "file format $format" || problems+=("not $format")
  exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    grep -E '^[[:space:]]*\[ *[0-9]+\]' | awk '{print $NF}' | sort)
  for name in "${expected[@]}"; do
    grep -qx "$name" <<<"$exports" || problems+=("no export $name")
  done
  while read -r name; do
    [ -z "$name" ] || printf '%s\n' "${expected[@]}" | grep -qx "$name" || problems+=("exports $name")
  done <<<"$exports"
  while read -r imported; do
    [[ $imported =~ $allowed ]] || problems+=("imports $imported")
  done < <("$objdump" -p "$dll" | awk '/DLL Name:/{print $3}')
  python3 -c 'import sys; sys.exit(0 if open(sys.argv[2], "rb").read() in open(sys.argv[1], "rb").read() else 1)' \
    "$dll" "$tlb" || problems+=("type library $(basename "$tlb") not embedded")
  if ((${#problems[@]})); then
    printf 'FAIL %s: %s\n' "$dll" "${problems[*]}"
    failed=1
  else
    echo "ok: $dll ($format, exports, system imports only, $(basename "$tlb") embedded)"
  fi
done
exit $failed
