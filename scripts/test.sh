#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice: an optimised
# build with gcc, and one with clang under AddressSanitizer + UndefinedBehaviorSanitizer (two
# compilers, one suite); then the 64-bit ARM build under qemu-user and the browser build, in
# node and in Chromium, both against the optimised native build; then the Debian package,
# made and checked. Warnings fail the builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs=$(nproc)

echo "test: optimised build in build/" >&2
scripts/build.sh build -DSPONGE_BUILD_TESTS=ON -DSPONGE_BUILD_BENCH=ON -DSPONGE_WERROR=ON
ctest --test-dir build --output-on-failure -j "$jobs"

echo "test: sanitizer build with clang in build-sanitize/" >&2
CC=clang CXX=clang++ scripts/build.sh build-sanitize -DSPONGE_BUILD_TESTS=ON -DSPONGE_BUILD_BENCH=ON -DSPONGE_WERROR=ON -DSPONGE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

echo "test: 64-bit ARM build in build-aarch64/, under qemu-user" >&2
scripts/test-cross.sh aarch64

echo "test: browser build in build-web/" >&2
(cd web && npm ci --no-audit --no-fund >&2)
scripts/build-web.sh -DSPONGE_WERROR=ON -DSPONGE_NATIVE_RENDER="$PWD/build/tools/sponge-render/sponge-render"
ctest --test-dir build-web --output-on-failure

echo "test: the Debian package" >&2
scripts/package.sh
