#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Usage: scripts/install-deps.sh [build|run|test]   (default: test, which is everything)
# Skips apt entirely when every package is already present.
set -euo pipefail

build_pkgs=(g++ cmake make pkg-config libgtest-dev libbenchmark-dev libcli11-dev libpng-dev libhwy-dev libsdl2-dev)
test_pkgs=(xvfb xdotool x11-utils x11-apps imagemagick ffmpeg python3 libx11-dev)

case "${1:-test}" in
  build|run) wanted=("${build_pkgs[@]}") ;;
  test) wanted=("${build_pkgs[@]}" "${test_pkgs[@]}") ;;
  *) echo "usage: $0 [build|run|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); elif command -v sudo >/dev/null; then sudo=(sudo); else
  echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1
fi
echo "install-deps: installing Debian packages: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
