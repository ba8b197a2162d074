#!/usr/bin/env bash
# Registers and unregisters each release's DLL with regsvr32 under Wine (the
# regsvr32 and reg of the DLL's bitness, which see that bitness's view) and holds
# the registry to what the Linux build's registry file lists for that release:
# every key and value, nothing more; unregistration leaves none of them. 8.61 and
# 8.50 share their identifiers: unregistering the one registered first leaves
# the keys of the one registered last.
#
#   tests/windows/registration.sh WIN_BUILD_DIR LINUX_QUILLOR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
quillor=$2
work=$(mktemp -d)
. "$here/wine_prefix.sh"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$wine_prefix" "$work"' EXIT

# What the Linux build registers for a release, and the roots it writes under.
linux_registry() {
  QUILLOR_REGISTRY=$work/linux-$1 "$quillor" register --release "$1" >/dev/null
  echo "$work/linux-$1"
}
roots_of() {
  grep '^\[' "$1" | tr -d '[]' | awk -F'\\' '{ if ($1 == "CLSID" || $1 == "Interface" || $1 == "TypeLib") print $1 "\\" $2; else print $1 }' | sort -u
}
export_roots() {
  rm -rf "$work/export" && mkdir -p "$work/export"
  local i=0
  while read -r root; do
    i=$((i + 1))
    "$wine" reg export "HKEY_CLASSES_ROOT\\$root" "$(win_path "$work/export")\\root_$i.reg" /y \
      >/dev/null 2>&1 || true
  done < <(roots_of "$1")
}
check() {  # present|absent RELEASE [DLL_RELEASE]
  local file
  file=$(linux_registry "$2")
  export_roots "$file"
  if [ "$1" = present ]; then
    python3 "$here/registry_check.py" present "$file" "$(win_path "$build/quillor-${3:-$2}.dll")" \
      "$work/export" $([ "$wine_bits" = 32 ] && echo --win32)
  else
    python3 "$here/registry_check.py" absent "$file" "$work/export"
  fi
  echo "ok: $1 $2${3:+ (held by $3)} ($wine_bits-bit)"
}
regsvr() { "$wine" regsvr32 /s "$@"; }

regsvr "$(win_path "$build/quillor-8.71.dll")"
check present 8.71
regsvr /u "$(win_path "$build/quillor-8.71.dll")"
check absent 8.71

regsvr "$(win_path "$build/quillor-8.61.dll")"
check present 8.61
regsvr "$(win_path "$build/quillor-8.50.dll")"
check present 8.50
regsvr /u "$(win_path "$build/quillor-8.61.dll")"
check present 8.61 8.50
regsvr /u "$(win_path "$build/quillor-8.50.dll")"
check absent 8.50
