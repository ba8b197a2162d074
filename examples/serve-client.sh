#!/usr/bin/env bash
# Sends request files to a running `quillor serve` and prints each answer.
#
#   examples/serve-client.sh [-u URL] [-t TOKEN] REQUEST.xml...
#
# URL defaults to $QUILLOR_URL or http://127.0.0.1:8080; TOKEN to $QUILLOR_TOKEN
# (needed when the server runs with --tokens). A paged QUERY's parts are shown as
# they arrive. Exits 1, saying why, when a file cannot be read, the server cannot
# be reached, or an answer's status is not 200.
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

headers=$(mktemp)
errors=$(mktemp)
trap 'rm -f "$headers" "$errors"' EXIT
status=0
for request in "$@"; do
  echo "== $request"
  if [ ! -r "$request" ] || [ -d "$request" ]; then
    echo "$0: cannot read the request file $request" >&2
    status=1
    continue
  fi
  # The answer goes to standard output as it comes; the headers to a file, where
  # the status line is read from.
  : >"$headers"
  if ! curl -sS -N "${auth[@]}" -H "Content-Type: application/xml" --data-binary "@$request" \
       -D "$headers" "$url/transact" 2>"$errors"; then
    echo "$0: $request was not answered: $(cat "$errors")" >&2
    status=1
    continue
  fi
  code=$(awk '/^HTTP\//{c=$2} END{print c}' "$headers")
  if [ "$code" != "200" ]; then
    echo "$0: $request: HTTP ${code:-without a status}" >&2
    status=1
  fi
done
exit "$status"
