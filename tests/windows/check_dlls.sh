#!/usr/bin/env bash
# Checks the DLLs of one Windows build with objdump, without running them: the
# target format, the four exports (and QuillorRelease) undecorated, imports of
# system DLLs only, and the release's type library embedded byte for byte.
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
failed=0
for release in 8.71 8.61 8.50; do
  dll=$build/quillor-$release.dll
  tlb=$build/component/deliverable/windows/quillor_$([ "$release" = 8.71 ] && echo 871 || echo 861).tlb
  problems=()
  "$objdump" -f "$dll" | grep -q "file format $format" || problems+=("not $format")
  exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '{print $NF}' | sort)
  for name in DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer QuillorRelease; do
    grep -qx "$name" <<<"$exports" || problems+=("no export $name")
  done
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
