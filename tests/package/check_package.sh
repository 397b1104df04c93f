#!/usr/bin/env bash
# The Debian package, checked without installing it: unpacked with dpkg-deb into a scratch
# folder, its files are where they belong, its sponge-render draws the build tree's frame,
# and lintian finds no error. Usage: check_package.sh PACKAGE.deb BUILD_DIR
set -euo pipefail
deb=$1
build=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

dpkg-deb -x "$deb" "$root"
expected=(usr/bin/sponge-render usr/bin/sponge-cross usr/bin/sponge-quad
          usr/share/man/man1/sponge-render.1.gz usr/share/man/man1/sponge-cross.1.gz
          usr/share/man/man1/sponge-quad.1.gz
          usr/share/applications/sponge-cross.desktop usr/share/applications/sponge-quad.desktop
          usr/share/applications/sponge-render-live.desktop
          usr/share/doc/sponge/README.md usr/share/doc/sponge/LICENSE usr/share/doc/sponge/copyright
          usr/share/doc/sponge/changelog.gz)
for size in 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x${size}/apps/sponge.png"); done
if [ "${SPONGE_EXPECT_WEB:-0}" = 1 ]; then
  expected+=(usr/share/sponge/web/index.html usr/share/sponge/web/sponge.js usr/share/sponge/web/sponge-simd.wasm
             usr/share/sponge/web/sponge-threads.wasm usr/share/sponge/serve.mjs)
fi
for file in "${expected[@]}"; do
  [ -s "$root/$file" ] || fail "$file is not in $deb"
done

dpkg-deb -f "$deb" Depends | grep -q libsdl2 || fail "the dependencies were not computed from the binaries"
dpkg-deb -f "$deb" Recommends | grep -qx ffmpeg || fail "ffmpeg is not recommended"

(cd / && "$root/usr/bin/sponge-render" --size 64x48 --frames 30 --filter quad --quiet --output "$root/packaged.png")
"$build/tools/sponge-render/sponge-render" --size 64x48 --frames 30 --filter quad --quiet --output "$root/built.png"
cmp -s "$root/packaged.png" "$root/built.png" || fail "the packaged sponge-render draws another frame"

# lintian says everything it finds; an error fails the check.
report=$(lintian --allow-root --info "$deb" 2>&1) || true
echo "$report"
if echo "$report" | grep -q '^E: '; then fail "lintian found errors"; fi
echo "check_package: $(basename "$deb"): ${#expected[@]} files in place, lintian without errors"
