#!/usr/bin/env bash
# `cmake --install` into a fresh prefix: every file in its place, and the installed
# sponge-render runs from there, with nothing of the build tree, and draws the build tree's
# frame. Usage: check_install.sh BUILD_DIR WINDOW(ON|OFF)
set -euo pipefail
build=$1
window=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "check_install: $*" >&2; exit 1; }
expected=(bin/sponge-render share/man/man1/sponge-render.1.gz share/doc/sponge/README.md
          share/doc/sponge/LICENSE share/doc/sponge/copyright share/doc/sponge/changelog.gz)
if [ "$window" = ON ]; then
  expected+=(bin/sponge-cross bin/sponge-quad share/man/man1/sponge-cross.1.gz share/man/man1/sponge-quad.1.gz
             share/applications/sponge-cross.desktop share/applications/sponge-quad.desktop
             share/applications/sponge-render-live.desktop)
  for size in 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/sponge.png"); done
fi
for file in "${expected[@]}"; do
  [ -s "$prefix/$file" ] || fail "$file was not installed"
done

# Nothing points back into the build tree: no run path, and it runs from anywhere.
for program in "$prefix"/bin/*; do
  if readelf -d "$program" | grep -Eq 'R(UN)?PATH'; then fail "$program has a run path"; fi
done
render=$prefix/bin/sponge-render
version=$(cd / && "$render" --version)
[[ "$version" =~ ^sponge-render\ [0-9]+\.[0-9]+\.[0-9]+ ]] || fail "--version said '$version'"
(cd / && "$render" --size 64x48 --frames 30 --filter quad --quiet --output "$prefix/installed.png")
"$build/tools/sponge-render/sponge-render" --size 64x48 --frames 30 --filter quad --quiet --output "$prefix/built.png"
cmp -s "$prefix/installed.png" "$prefix/built.png" || fail "the installed sponge-render draws another frame"
echo "check_install: $version, ${#expected[@]} files in place"
