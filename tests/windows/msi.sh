#!/usr/bin/env bash
# The MSI packages of one bitness under Wine, as an administrator deploys them,
# with no regsvr32 anywhere:
#   - msiexec /i of 8.71 /qn: the files under Program Files (the x86 one for
#     32-bit), the registry holding exactly what the Linux registration lists
#     for 8.71; a VBScript client (suite.vbs) creates Quillor.IMaterial and runs
#     the examples, and the administrator's quillor-sample.vbs runs from the
#     install folder; every reply, page and file is byte for byte the Linux
#     command's on the same database;
#   - a newer build of 8.71 (NEWER_DIR) installs over it as an upgrade, leaving
#     one product; the older build over the newer is refused;
#   - 8.50 installed beside it, the 8.61 package is refused (its message is in
#     its launch conditions), and 8.50's keys stay whole; 8.50 uninstalled, a
#     repair of 8.71 gives it back the programmatic name 8.50 had taken;
#   - msiexec /x /qn leaves no key, no file and no folder of ours.
#
#   tests/windows/msi.sh WIN_BUILD_DIR NEWER_DIR LINUX_QUILLOR CONNECTION
#
# WIN_BUILD_DIR holds the DLLs and quillor-RELEASE-ARCH.msi (scripts/package-windows),
# NEWER_DIR quillor-8.71-ARCH.msi of a higher version.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
newer=$(cd "$2" && pwd)
quillor=$3
conn=$4
work=$(mktemp -d)
. "$here/wine_prefix.sh"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$wine_prefix"; [ -n "${QUILLOR_KEEP_WORK:-}" ] || rm -rf "$work"' EXIT

if [ "$wine_bits" = 64 ]; then
  arch=x64 bits_word=64-bit program_files="Program Files"
else
  arch=x86 bits_word=32-bit program_files="Program Files (x86)"
fi
host_dir() { echo "$wine_prefix/drive_c/$program_files/Quillor/$1"; }
win_dir() { echo "C:\\$program_files\\Quillor\\$1"; }

field() { sed -n "s/.*[;]*$1=\([^;]*\).*/\1/Ip" <<<";$conn"; }
export PGHOST=$(field Server) PGPORT=$(field Port) PGDATABASE=$(field Database)
export PGUSER=$(field UID) PGPASSWORD=$(field PWD)
sql() { psql -X -q -t -A -v ON_ERROR_STOP=1 -c "$1"; }
"$quillor" init-db --connection "$conn" --sample >/dev/null
empty_table() { sql "truncate ca_mabsw" && sql "analyze ca_mabsw"; }
fail() { echo "FAIL msi $arch: $*"; exit 1; }

msiexec() {  # /i|/x MSI [LOG]: msiexec's exit code
  local rc=0
  "$wine" msiexec "$1" "$(win_path "$2")" /qn ${3:+/l*v "$(win_path "$3")"} >/dev/null 2>&1 || rc=$?
  return $rc
}
registry() {  # present|absent RELEASE
  local file=$work/linux-$2 i=0
  QUILLOR_REGISTRY=$file "$quillor" register --release "$2" >/dev/null
  rm -rf "$work/export" && mkdir -p "$work/export"
  while read -r key; do
    i=$((i + 1))
    "$wine" reg export "HKEY_CLASSES_ROOT\\$key" "$(win_path "$work/export")\\root_$i.reg" /y \
      >/dev/null 2>&1 || true
  done < <(grep '^\[' "$file" | tr -d '[]' | awk -F'\\' '{ if ($1 == "CLSID" || $1 == "Interface" || $1 == "TypeLib") print $1 "\\" $2; else print $1 }' | sort -u)
  if [ "$1" = present ]; then
    python3 "$here/registry_check.py" present "$file" "$(win_dir "$2")\\quillor-$2.dll" "$work/export" \
      --msi $([ "$wine_bits" = 32 ] && echo --win32)
  else
    python3 "$here/registry_check.py" absent "$file" "$work/export"
  fi
}
products() {  # how many installed products carry this name
  "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -c "DisplayName.*Quillor $1 ($bits_word)" || true
}
to_utf16() { python3 -c 'import sys; open(sys.argv[2], "w", encoding="utf-16").write(open(sys.argv[1], encoding="utf-8").read())' "$1" "$2"; }
from_utf16() { python3 -c 'import sys; sys.stdout.buffer.write(open(sys.argv[1], encoding="utf-16").read().encode("utf-8"))' "$1"; }

# The requests the administrator's sample sends, read from its text, so that the
# Linux command is given the very same ones.
python3 - "$root/packaging/windows/quillor-sample.vbs" "$work" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
calls = re.findall(r'material\.Transact\(((?:\s*_?\s*"(?:[^"]|"")*"\s*&?)+)', text)
names = ["sample_add", "sample_query"]
assert len(calls) == len(names), calls
for name, call in zip(names, calls):
    xml = "".join(s.replace('""', '"') for s in re.findall(r'"((?:[^"]|"")*)"', call))
    open(f"{sys.argv[2]}/{name}.xml", "w", encoding="utf-8").write(xml)
PY

# The Linux command: the examples, then the sample's ADD and paged QUERY.
mkdir -p "$work/linux"
linux_reply() {  # NAME [PAGES_DIR]
  local pages=()
  [ -n "${2:-}" ] && pages=(--pages-dir "$2")
  "$quillor" transact --release 8.71 --connection "$conn" "${pages[@]}" "$3" >"$work/out" 2>/dev/null || true
  head -c -1 "$work/out" >"$work/linux/$1"
}
empty_table
for f in "$root"/examples/*.xml; do linux_reply "$(basename "$f" .xml).reply" "" "$f"; done
empty_table
linux_reply add-reply.xml "" "$work/sample_add.xml"
linux_reply query-reply.xml "$work/linux/pages" "$work/sample_query.xml"
for p in "$work"/linux/pages/page-*.xml; do cp "$p" "$work/linux/query-$(basename "$p")"; done
rm -rf "$work/linux/pages"
[ -e "$work/linux/query-page-1.xml" ] || fail "the sample's QUERY gave the Linux command no page"

# Installed, nothing registered by hand.
msiexec /i "$build/quillor-8.71-$arch.msi" || fail "msiexec /i 8.71 exited $?"
for f in quillor-8.71.dll MaterialXmlRs.Xml README.txt quillor-sample.vbs; do
  [ -f "$(host_dir 8.71)/$f" ] || fail "$f is not in $(win_dir 8.71)"
done
registry present 8.71 || fail "the registry after msiexec /i is not the registration's"
[ "$(products 8.71)" = 1 ] || fail "$(products 8.71) products named Quillor 8.71 ($bits_word)"

# A VBScript client runs the examples; the sample runs from the install folder.
out=$work/vbs
mkdir -p "$out"
: >"$work/list"
for f in "$root"/examples/*.xml; do
  name=$(basename "$f" .xml)
  to_utf16 "$f" "$out/$name.xml"
  echo "$name" >>"$work/list"
done
to_utf16 "$work/list" "$out/list.txt"
empty_table
"$wine" cscript //nologo "$(win_path "$here/suite.vbs")" "$(win_path "$out")" "$conn" 2>&1 | tr -d '\r'
for f in "$out"/*.reply; do from_utf16 "$f" >"$f.utf8" && mv "$f.utf8" "$f"; done
empty_table
mkdir -p "$work/sample"
"$wine" cscript //nologo "$(win_dir 8.71)\\quillor-sample.vbs" "$conn" "$(win_path "$work/sample")" 2>&1 |
  tr -d '\r'
# Wine has no ADO stream: the sample writes UTF-16 there, and says so.
for f in "$work"/sample/*.xml; do
  if [ "$(head -c 2 "$f" | od -An -tx1 | tr -d ' ')" = fffe ]; then
    from_utf16 "$f" >"$out/$(basename "$f")"
  else
    cp "$f" "$out/"
  fi
done
failed=0
for f in "$work"/linux/*; do
  name=$(basename "$f")
  cmp -s "$f" "$out/$name" || { echo "FAIL msi $arch: $name differs from the Linux command's"; failed=1; }
done
for f in "$out"/query-page-*.xml; do
  [ -e "$work/linux/$(basename "$f")" ] || { echo "FAIL msi $arch: $(basename "$f") is a page too many"; failed=1; }
done
((failed == 0)) || exit 1
echo "ok: msi $arch 8.71 installed; examples and the sample answered as the Linux command," \
  "$(ls "$work"/linux | wc -l) files compared"

# A newer build upgrades; the older one does not go back over it.
msiexec /i "$newer/quillor-8.71-$arch.msi" || fail "the newer build's msiexec /i exited $?"
[ "$(products 8.71)" = 1 ] || fail "$(products 8.71) products named Quillor 8.71 after the upgrade"
registry present 8.71 || fail "the registry after the upgrade is not the registration's"
if msiexec /i "$build/quillor-8.71-$arch.msi" "$work/downgrade.log"; then
  fail "the older build installed over the newer"
fi
echo "ok: msi $arch 8.71 upgraded by a newer build, the older one refused over it"

# 8.61 and 8.50 share their identifiers: the one is refused over the other.
msiexec /i "$build/quillor-8.50-$arch.msi" || fail "msiexec /i 8.50 exited $?"
if msiexec /i "$build/quillor-8.61-$arch.msi" "$work/refused.log"; then
  fail "8.61 installed over 8.50"
fi
# The refusal is the package's launch condition on the other release, found by
# its upgrade code. Wine's msiexec does not log a condition's message, so the
# message is read from the package's own table.
tr -d '\r\0' <"$work/refused.log" >"$work/refused.txt"
grep -q "QUILLOR_OTHER_RELEASE = {" "$work/refused.txt" || fail "8.61 did not find 8.50 installed"
msiinfo export "$build/quillor-8.61-$arch.msi" LaunchCondition | tr -d '\r' |
  grep -q "Quillor 8.50 ($bits_word) is installed. Releases 8.61 and 8.50 share their class identifiers" ||
  fail "the refusal of 8.61 does not say why"
[ ! -e "$(host_dir 8.61)" ] || fail "the refused 8.61 left files"
registry present 8.50 || fail "8.50's keys are not whole after 8.61 was refused"
msiexec /x "$build/quillor-8.50-$arch.msi" || fail "msiexec /x 8.50 exited $?"
registry absent 8.50 || fail "keys of 8.50 left after msiexec /x"
[ ! -e "$(host_dir 8.50)" ] || fail "files of 8.50 left after msiexec /x"
[ -f "$(host_dir 8.71)/quillor-8.71.dll" ] || fail "8.50's uninstall took 8.71's files"
echo "ok: msi $arch 8.61 refused while 8.50 is installed, 8.50 whole and then removed"

# 8.50's uninstall took the programmatic name it had taken over; a repair of
# 8.71 gives it back, as the documentation tells administrators.
"$wine" msiexec /i "$(win_path "$newer/quillor-8.71-$arch.msi")" REINSTALL=ALL REINSTALLMODE=m /qn \
  >/dev/null 2>&1 || fail "the repair of 8.71 exited $?"
registry present 8.71 || fail "the registry after the repair of 8.71 is not the registration's"

# Uninstalled: no key, no file, no folder.
msiexec /x "$newer/quillor-8.71-$arch.msi" || fail "msiexec /x exited $?"
registry absent 8.71 || fail "keys left after msiexec /x"
[ ! -e "$wine_prefix/drive_c/$program_files/Quillor" ] ||
  fail "left after msiexec /x: $(find "$wine_prefix/drive_c/$program_files/Quillor")"
[ "$(products 8.71)" = 0 ] || fail "the product is still listed after msiexec /x"
echo "ok: msi $arch 8.71 repaired, then uninstalled: no key, file or folder left"
