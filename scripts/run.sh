#!/usr/bin/env bash
# Installs what is missing, builds, and starts the fly-through in a window.
# Usage: scripts/run.sh [cross|quad]   (default: cross, the five-point smear trail;
#                                       quad is the 2 x 2 down-right blend)
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-cross}" in
  cross|quad) program=sponge-${1:-cross} ;;
  *) echo "usage: $0 [cross|quad]" >&2; exit 2 ;;
esac
scripts/install-deps.sh run
echo "run: building into build/" >&2
scripts/build.sh build -DSPONGE_BUILD_TESTS=OFF -DSPONGE_BUILD_BENCH=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so $program has no" >&2
  echo "run: window to open. sponge-render draws the same frames into an image file instead:" >&2
  echo "run:   build/tools/sponge-render/sponge-render --frames 600 --size 960x720 --output sponge.png" >&2
  exit 1
fi
echo "run: starting $program; Escape or closing the window ends it, holding Space shows raw frames" >&2
exec "build/host/$program"
