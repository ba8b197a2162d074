#!/usr/bin/env bash
# Sends request files to a running `quillor serve` and prints each answer.
#
#   examples/serve-client.sh [-u URL] [-t TOKEN] REQUEST.xml...
#
# URL defaults to $QUILLOR_URL or http://127.0.0.1:8080; TOKEN to $QUILLOR_TOKEN
# (needed when the server runs with --tokens). A paged QUERY's parts are shown as
# they arrive. Exits 1 when an answer is not 200.
set -euo pipefail

url="${QUILLOR_URL:-http://127.0.0.1:8080}"
token="${QUILLOR_TOKEN:-}"
while getopts "u:t:" opt; do
  case "$opt" in
    u) url="$OPTARG" ;;
    t) token="$OPTARG" ;;
    *) echo "usage: $0 [-u URL] [-t TOKEN] REQUEST.xml..." >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || { echo "usage: $0 [-u URL] [-t TOKEN] REQUEST.xml..." >&2; exit 2; }

auth=()
[ -z "$token" ] || auth=(-H "Authorization: Bearer $token")

codes=$(mktemp)
trap 'rm -f "$codes"' EXIT
status=0
for request in "$@"; do
  echo "== $request"
  # The answer goes to standard output as it comes; the status code to a file.
  curl -sS -N "${auth[@]}" -H "Content-Type: application/xml" --data-binary "@$request" \
       -w '%{stderr}%{http_code}' "$url/transact" 2>"$codes" || { cat "$codes" >&2; status=1; }
  code=$(tail -c 3 "$codes")
  [ "$code" = "200" ] || { echo "HTTP $code" >&2; status=1; }
done
exit "$status"
