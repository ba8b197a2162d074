#!/usr/bin/env bash
# The host's SQL Server connection texts under Wine: the DLL opens each text
# through Wine's odbc32, the host's unixODBC and FreeTDS against the SQL Server
# stand-in of the Linux build (quillor_tds_listener) on loopback, which decodes
# the login that reaches it. The login must carry what the text says, the reply
# must be the refused login in the driver's words, and the password must not be
# in the reply.
#
#   tests/windows/sqlserver_texts.sh WIN_BUILD_DIR LINUX_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
listener=$(cd "$2" && pwd)/bin/quillor_tds_listener
. "$here/wine_prefix.sh"
wine=${wine:-wine}
work=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$wine_prefix" "$work"' EXIT

"$wine" regsvr32 /s "$(win_path "$build/quillor-8.71.dll")"
# The reply to one request with that connection text.
transact() {
  rm -f "$work/reply"
  "$wine" cscript //nologo "$(win_path "$here/sqlserver_texts.vbs")" "$1" "$(win_path "$work/reply")" \
    >/dev/null 2>&1 || true
  [ ! -f "$work/reply" ] || iconv -f UTF-16 -t UTF-8 "$work/reply"
}

failed=0
# TEXT (PORT stands for the stand-in's) | the login's server, user, password, database, application
while IFS='|' read -r text expected; do
  [ -n "$text" ] || continue
  "$listener" 127.0.0.1 "" 60 >"$work/login" &
  pid=$!
  for _ in $(seq 100); do grep -q '^port ' "$work/login" && break; sleep 0.1; done
  port=$(sed -n 's/^port //p' "$work/login")
  filled=${text//PORT/$port}
  reply=$(transact "$filled")
  # The stand-in writes what it decoded at its next look (every 50 ms), which
  # may come after the client has its reply: wait for it before ending it.
  for _ in $(seq 30); do grep -q '^end' "$work/login" && break; sleep 0.1; done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  IFS=, read -r server user password database app <<<"$expected"
  got=$(grep -E '^(server|user|password|database|app)=' "$work/login" | tr '\n' ',')
  want="user=$user,password=$password,app=$app,server=$server,database=$database,"
  if [ "$got" != "$want" ]; then
    echo "FAIL: $text"; echo "  the login carried: $got"; echo "  the text says:     $want"; failed=1
  elif [[ "$reply" != *"[FreeTDS][SQL Server]Login failed for user '$user'."* ]]; then
    echo "FAIL: $text"; echo "  reply: $reply"; failed=1
  elif [[ "$reply" == *"$password"* ]]; then
    echo "FAIL: the reply shows the password: $text"; failed=1
  else
    echo "ok: $text"
  fi
done <<'CASES'
Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=Pa55-w0rd;Initial Catalog=erp;Data Source=127.0.0.1,PORT|127.0.0.1,sa,Pa55-w0rd,erp,
Provider=SQLNCLI11;Server=tcp:127.0.0.1,PORT;Database=erp2;UID='o''brien';PWD="se;mi""colon";Application Name=ERP Link|127.0.0.1,o'brien,se;mi"colon,erp2,ERP Link
provider = msoledbsql19.1 ; Address = 127.0.0.1,PORT ; User ID=first;UID=second;Password=one;PWD=tw0;Encrypt=no|127.0.0.1,second,tw0,,
CASES

# Another provider is refused at once, by name.
reply=$(transact "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\erp.mdb")
if [[ "$reply" != *'<reply code="3706" message="[Quillor] the connection text names the provider Microsoft.Jet.OLEDB.4.0,'* ]]; then
  echo "FAIL: another provider: $reply"; failed=1
else
  echo "ok: another provider is refused by name"
fi
exit $failed
