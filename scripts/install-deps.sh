#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Usage: scripts/install-deps.sh [run|web|package|aarch64|test]   (default: test)
#   run:     what building the programs needs
#   web:     what the browser build needs (emscripten, Node.js)
#   package: what building and checking the Debian package needs
#   aarch64: a cross-compiler for 64-bit ARM, the ARM libraries (multiarch) and qemu-user
#   test:    all of these, and what the tests and the benchmark need
# Skips apt entirely when every package is already present.
set -euo pipefail

run_pkgs=(g++ cmake make libcli11-dev libpng-dev libhwy-dev libsdl2-dev)
# dpkg-shlibdeps (dpkg-dev) for the package's dependencies, lintian to check it,
# desktop-file-utils and man-db with groff to check the menu entries and manual pages.
package_pkgs=(dpkg-dev lintian desktop-file-utils man-db groff)
# xvfb, xdotool, x11-utils (xwininfo, xprop), x11-apps (xwd), libx11-dev and openbox (the
# window manager a fullscreen window needs) for the window tests; ffmpeg (with ffprobe) for
# the video tests; libmpfr-dev, the oracle of the sine and cosine tests.
test_pkgs=(libgtest-dev libbenchmark-dev xvfb xdotool x11-utils x11-apps openbox ffmpeg python3 libx11-dev
           libmpfr-dev strace)

# Emscripten 3.1.6 and the Node.js it runs on; Node.js and npm only where the machine has
# none of its own (a machine may have them from elsewhere than Debian).
web_pkgs=(emscripten)
command -v node >/dev/null || web_pkgs+=(nodejs)
command -v npm >/dev/null || web_pkgs+=(npm)
# Chromium for the browser tests (driven by playwright-core from npm, see web/package.json).
browser_pkgs=(chromium)

# clang with LLVM's OpenMP and sanitizer runtimes: the sanitizer build is clang's.
clang_pkgs=(clang libomp-dev libclang-rt-14-dev)

# The ARM build: offline only (no SDL), its tests under qemu-user. Installing the :arm64
# libraries brings the amd64 ones to the same Debian release, as multiarch requires.
aarch64_pkgs=(g++-aarch64-linux-gnu qemu-user libcli11-dev libhwy-dev:arm64 libpng-dev:arm64 libgtest-dev:arm64
              libmpfr-dev:arm64 libgomp1:arm64)

case "${1:-test}" in
  run) wanted=("${run_pkgs[@]}") ;;
  web) wanted=("${web_pkgs[@]}") ;;
  package) wanted=("${run_pkgs[@]}" "${package_pkgs[@]}") ;;
  aarch64) wanted=("${aarch64_pkgs[@]}") ;;
  test) wanted=("${run_pkgs[@]}" "${test_pkgs[@]}" "${clang_pkgs[@]}" "${web_pkgs[@]}" "${browser_pkgs[@]}"
                "${package_pkgs[@]}" "${aarch64_pkgs[@]}") ;;
  *) echo "usage: $0 [run|web|package|aarch64|test]" >&2; exit 2 ;;
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
if [[ " ${missing[*]}" == *":arm64"* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  "${sudo[@]}" dpkg --add-architecture arm64
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
