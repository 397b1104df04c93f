#!/usr/bin/env bash
# Installs what is missing, builds, and renders a still with sponge-render.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
echo "run: building into build/" >&2
scripts/build.sh build -DSPONGE_BUILD_TESTS=OFF
out=${SPONGE_OUTPUT:-sponge.png}
build/tools/sponge-render/sponge-render --frames 600 --size 960x720 --output "$out"
echo "run: wrote frame 600 of the fly-through to $out" >&2
