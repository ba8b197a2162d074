#!/usr/bin/env bash
# Late-bound through cscript under Wine against a database reached through ODBC,
# held to the Linux command on the same database: the requests of examples/ and
# of cases/ (list.txt) go through the Linux command and then through the Windows
# DLL (a JScript suite and a VBScript suite); replies, pages, SQL traces and the
# rows left in ca_mabsw must be identical.
#
#   tests/windows/late_bound.sh WIN_BUILD_DIR LINUX_QUILLOR CONNECTION [RELEASE]
#
# CONNECTION is an ODBC text of the PostgreSQL server (scripts/postgres).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
quillor=$2
conn=$3
release=${4:-8.71}
work=$(mktemp -d)
. "$here/wine_prefix.sh"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$wine_prefix"; [ -n "${QUILLOR_KEEP_WORK:-}" ] || rm -rf "$work"' EXIT

field() { sed -n "s/.*[;]*$1=\([^;]*\).*/\1/Ip" <<<";$conn"; }
export PGHOST=$(field Server) PGPORT=$(field Port) PGDATABASE=$(field Database)
export PGUSER=$(field UID) PGPASSWORD=$(field PWD)
sql() { psql -X -q -t -A -v ON_ERROR_STOP=1 -c "$1"; }

"$quillor" init-db --connection "$conn" --sample >/dev/null
cp "$root"/examples/*.xml "$here"/cases/*.xml "$work/"
# The requests of the fuzz corpus too, each once, under a name of its own.
for f in "$root"/fuzz/corpus/transact/*.xml; do cp "$f" "$work/corpus_$(basename "$f")"; done
# The corpus first, before any caller is registered (a registered caller stays
# for the object's life); then the cases. Only 8.71 has caller registration: the
# earlier releases run the same requests unpaged.
: >"$work/list"
for f in "$work"/corpus_*.xml; do
  name=$(basename "$f" .xml)
  grep -q "^$name " "$here/cases/corpus_left_out.txt" || echo "$name" >>"$work/list"
done
if [ "$release" = 8.71 ]; then
  cat "$here/cases/list.txt" >>"$work/list"
else
  sed 's/ paged$//' "$here/cases/list.txt" >>"$work/list"
fi

rows() { sql "select * from ca_mabsw order by 1,2,3,4,5,6,7,8" >"$1"; }
# A QUERY's statement has no order: its rows come in the order of the plan the
# server chooses, which follows the table's statistics and where the rows lie in
# its file. Each run starts alike: from an empty file (truncate, not delete, whose
# dead rows a vacuum would hand out again as room for the next run's rows) and
# fresh statistics, with no vacuum or analyze of the server's own choosing
# changing either in the middle of a run.
sql "alter table ca_mabsw set (autovacuum_enabled = false)"
empty_table() { sql "truncate ca_mabsw" && sql "analyze ca_mabsw"; }
untimed() { sed -E 's/, "ms": [0-9.e+-]+//' "$1"; }

# The Linux command.
mkdir -p "$work/linux"
empty_table
while read -r name paged; do
  pages=()
  [ "$paged" = paged ] && pages=(--pages-dir "$work/linux/$name.pages")
  "$quillor" transact --release "$release" --connection "$conn" --trace-sql "$work/linux/trace" \
    "${pages[@]}" "$work/$name.xml" >"$work/linux/$name.out" 2>/dev/null || true
  # The command ends the reply with a line feed of its own.
  head -c -1 "$work/linux/$name.out" >"$work/linux/$name.reply" && rm "$work/linux/$name.out"
  if [ "$paged" = paged ]; then
    for p in "$work/linux/$name.pages"/page-*.xml; do
      [ -e "$p" ] && cp "$p" "$work/linux/$name.$(basename "$p")"
    done
  fi
done <"$work/list"
rows "$work/linux/rows"

"$wine" regsvr32 /s "$(win_path "$build/quillor-$release.dll")"
# The scripts read and write UTF-16. Each conversion is one python3 for every
# file of a run, not one per file: starting python3 cost more than converting.
# to_utf16 OUT_DIR: each request of the list, and the list, into OUT_DIR.
to_utf16() {
  python3 - "$work" "$1" <<'PY'
import sys
work, out = sys.argv[1], sys.argv[2]
def convert(source, target):
    text = open(source, encoding="utf-8", errors="surrogateescape").read()
    open(target, "w", encoding="utf-16").write(text)
for line in open(f"{work}/list", encoding="utf-8"):
    name = line.split()[0]
    convert(f"{work}/{name}.xml", f"{out}/{name}.xml")
convert(f"{work}/list", f"{out}/list.txt")
PY
}
# from_utf16 FILE...: each file rewritten as UTF-8 in place.
from_utf16() {
  python3 - "$@" <<'PY'
import sys
for path in sys.argv[1:]:
    text = open(path, encoding="utf-16").read()
    open(path, "wb").write(text.encode("utf-8"))
PY
}

failed=0
for engine in js vbs; do
  out=$work/$engine
  mkdir -p "$out"
  to_utf16 "$out"
  empty_table
  QUILLOR_TRACE_SQL="$(win_path "$out/trace")" "$wine" cscript //nologo "$(win_path "$here/suite.$engine")" \
    "$(win_path "$out")" "$conn" 2>&1 | tr -d '\r'
  rows "$out/rows"
  replies=()
  for f in "$out"/*.reply "$out"/*.page-*.xml; do [ -e "$f" ] && replies+=("$f"); done
  [ ${#replies[@]} -eq 0 ] || from_utf16 "${replies[@]}"
  for f in "$out"/*.page-*.xml; do
    [ -e "$f" ] || continue
    [ -e "$work/linux/$(basename "$f")" ] || { echo "FAIL $engine: $(basename "$f") is a page too many"; failed=1; }
  done
  for f in "$work"/linux/*.reply "$work"/linux/*.page-*.xml; do
    [ -e "$f" ] || continue
    name=$(basename "$f")
    if ! cmp -s "$f" "$out/$name"; then
      echo "FAIL $engine: $name differs from the Linux command's"
      diff "$f" "$out/$name" 2>&1 | head -5 || true
      failed=1
    fi
  done
  if ! cmp -s <(untimed "$work/linux/trace") <(untimed "$out/trace"); then
    echo "FAIL $engine: the SQL trace differs"
    diff <(untimed "$work/linux/trace") <(untimed "$out/trace") | head -5 || true
    failed=1
  fi
  cmp -s "$work/linux/rows" "$out/rows" || { echo "FAIL $engine: rows differ"; failed=1; }
  echo "$engine: $(ls "$work"/linux/*.reply | wc -l) replies, $(ls "$work"/linux/*.page-*.xml 2>/dev/null | wc -l) pages compared"
done
exit $failed
