#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package build/sponge_VERSION_ARCH.deb
# (with the browser site when build-web/site was built), then checks it without installing
# it: its files, its sponge-render's frames, lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package
site=()
if [ -f build-web/site/index.html ]; then site=(-DSPONGE_WEB_SITE="$PWD/build-web/site"); fi
# The test build when there is one (scripts/test.sh makes it); else the programs alone.
fresh=()
if [ ! -f build/CMakeCache.txt ]; then fresh=(-DSPONGE_BUILD_TESTS=OFF -DSPONGE_BUILD_BENCH=OFF); fi
echo "package: building into build/" >&2
scripts/build.sh build "${fresh[@]}" "${site[@]}"
rm -f build/sponge_*.deb
(cd build && cpack >&2)
deb=$(ls build/sponge_*.deb)
SPONGE_EXPECT_WEB=$([ ${#site[@]} -gt 0 ] && echo 1 || echo 0) tests/package/check_package.sh "$deb" build
echo "package: $deb" >&2
