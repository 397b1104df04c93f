#!/usr/bin/env bash
# Installs what is missing, builds the fly-through for the browser into build-web/ and serves
# it at http://127.0.0.1:8000/ with the headers that let the page use threads.
# Usage: scripts/web.sh [--port N]
# build-web/site is a static site that any web server can serve: it runs single-threaded
# unless the server sends Cross-Origin-Opener-Policy: same-origin and
# Cross-Origin-Embedder-Policy: require-corp.
set -euo pipefail
cd "$(dirname "$0")/.."
port=8000
while [ $# -gt 0 ]; do
  case "$1" in
    --port) port=${2:-}; shift 2 ;;
    *) echo "usage: $0 [--port N]" >&2; exit 2 ;;
  esac
done
case "$port" in
  ''|*[!0-9]*) echo "web: --port needs a number, got '$port'" >&2; exit 2 ;;
esac
scripts/install-deps.sh web
echo "web: building into build-web/" >&2
scripts/build-web.sh
echo "web: Ctrl-C stops the server" >&2
exec node web/serve.mjs build-web/site --port "$port"
