#!/usr/bin/env bash
# Sends request files to a running `quillor serve` and prints each answer.
#
#   examples/serve-client.sh [-u URL] [-t TOKEN] [--cacert FILE] REQUEST.xml...
#
# URL defaults to $QUILLOR_URL or http://127.0.0.1:8080; TOKEN to $QUILLOR_TOKEN
# (needed when the server runs with --tokens; the environment keeps it off the
# command line, where other users could read it). --cacert FILE (or
# $QUILLOR_CACERT) is the certificate to trust for an https:// URL, such as the
# server's own self-signed one. A paged QUERY's parts are shown as they arrive.
# Exits 1, saying why, when a file cannot be read, the server cannot be reached,
# or an answer's status is not 200.
set -euo pipefail

usage() {
  echo "usage: $0 [-u URL] [-t TOKEN] [--cacert FILE] REQUEST.xml..." >&2
  exit 2
}
url="${QUILLOR_URL:-http://127.0.0.1:8080}"
token="${QUILLOR_TOKEN:-}"
cacert="${QUILLOR_CACERT:-}"
while [ $# -gt 0 ]; do
  case "$1" in
    -u) [ $# -ge 2 ] || usage; url="$2"; shift 2 ;;
    -t) [ $# -ge 2 ] || usage; token="$2"; shift 2 ;;
    --cacert) [ $# -ge 2 ] || usage; cacert="$2"; shift 2 ;;
    --cacert=*) cacert="${1#--cacert=}"; shift ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || usage
if [ -n "$cacert" ] && [ ! -r "$cacert" ]; then
  echo "$0: cannot read the certificate $cacert" >&2
  exit 1
fi

# The token goes to curl through a header file, not its arguments, so that it
# does not show in the process list.
options=()
[ -z "$cacert" ] || options+=(--cacert "$cacert")

headers=$(mktemp)
errors=$(mktemp)
auth=$(mktemp)
trap 'rm -f "$headers" "$errors" "$auth"' EXIT
if [ -n "$token" ]; then
  printf 'Authorization: Bearer %s\n' "$token" >"$auth"
  options+=(-H "@$auth")
fi
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
  if ! curl -sS -N "${options[@]}" -H "Content-Type: application/xml" --data-binary "@$request" \
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
