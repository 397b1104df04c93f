#!/usr/bin/env bash
# Builds the browser build into build-web/ (the site in build-web/site). Usage:
# scripts/build-web.sh [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
# Debian's emscripten needs its JavaScript modules (acorn, ...) from Debian's folder, which
# a Node.js from elsewhere does not search.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# emcmake would make node with a flag node 20 refuses the emulator of cross-compiled tests.
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR=node "$@" >/dev/null
cmake --build build-web -j "$(nproc)"
