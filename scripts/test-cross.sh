#!/usr/bin/env bash
# Builds for another processor and runs what proves the frames the same there, under
# qemu-user: the in-process tests (golden frames, the identity tests of every SIMD target,
# the sine and cosine, the traversal, the filters, the frame step), once on each processor
# that brings out another Highway target, and a few whole frames of the emulated
# sponge-render against the native one's (scripts/test.sh builds that in build/).
# Usage: scripts/test-cross.sh aarch64
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
  aarch64) ;;
  *) echo "usage: $0 aarch64" >&2; exit 2 ;;
esac
# The native sponge-render the ARM frames are compared with: missing, say so before minutes
# of building and emulation.
native=build/tools/sponge-render/sponge-render
if [ ! -x "$native" ]; then
  echo "test-cross: no native sponge-render in build/ to compare with (scripts/test.sh builds it)" >&2
  exit 1
fi
scripts/install-deps.sh aarch64
dir=build-aarch64
echo "test-cross: aarch64 build in $dir/" >&2
scripts/build.sh "$dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64-linux-gnu.cmake" -DSPONGE_WINDOW=OFF \
  -DSPONGE_BUILD_BENCH=OFF -DSPONGE_WERROR=ON

# The tests that run in the test program itself; those that start sponge-render as a
# process are left to the native build (an ARM program needs the emulator named).
in_process='Simd*:*GoldenFrame*:ThreadCount*:FrameStep*:SpaceKey*:EyeRay*:ShadePixel*:ShadeRowColumns*'
in_process+=':Traverse*:FloatToInt*:TrailFilters*:CrossSmear*:QuadBlend*:ByteFields*:*CorrectTrig*:*HardCase*'
in_process+=':ReportFrameRate*:WorkerTeam*:FlightFile*:*/BadFlightTest.*:Keyframes*:FreeFlight*'
test_program="$dir/tests/sponge_tests"
# QEMU_CPU|the Highway targets it brings out|the tests run there. Each target's identity
# tests run where it is the new one; the golden frames on the best target of each.
runs=(
  "cortex-a72|NEON, the baseline|$in_process"
  "max|SVE2 and SVE, 512-bit vectors|Simd*/SVE2:Simd*/SVE:*GoldenFrame*"
  "max,sve256=on|SVE_256|Simd*/SVE_256:*GoldenFrame*"
  "max,sve128=on|SVE2_128|Simd*/SVE2_128:*GoldenFrame*"
  "max,sve2048=on|SVE2 with 2048-bit vectors, of which the traversal uses 32 lanes|Simd*/SVE2:*GoldenFrame*"
)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
# One emulated run: its summary, or its whole output and a failure.
emulate() {
  local n=$1 cpu what filter
  IFS='|' read -r cpu what filter <<<"${runs[$n]}"
  local log="$logs/$n.log"
  if ! QEMU_CPU=$cpu timeout -s KILL 1200 qemu-aarch64 "$test_program" --gtest_filter="$filter" --gtest_brief=1 \
       >"$log" 2>&1; then
    cat "$log" >&2
    echo "test-cross: failed under QEMU_CPU=$cpu ($what)" >&2
    return 1
  fi
  local passed targets
  passed=$(grep -E '^\[  PASSED  \]' "$log" || true)
  targets=$(QEMU_CPU=$cpu qemu-aarch64 "$test_program" --gtest_list_tests --gtest_filter="$filter" |
            sed -n 's/^  RandomRaysMatchTheScalarTraversal\/\([A-Z0-9_]*\).*/\1/p' | tr '\n' ' ')
  echo "test-cross: QEMU_CPU=$cpu ($what): ${passed#\[  PASSED  \] } Highway targets tested: ${targets% }" >&2
}
# Emulation keeps to one core: two runs at a time.
for n in "${!runs[@]}"; do
  [ "$(jobs -pr | wc -l)" -lt 2 ] || wait -n || true
  { emulate "$n" || touch "$logs/failed"; } &
done
wait
[ ! -e "$logs/failed" ] || exit 1

# Whole frames of the emulated sponge-render, on two threads, against the native ones.
cases=(
  "--size 97x61 --frames 300 --raw 250-280 --filter quad"
  "--size 64x48 --frames 1400 --from 1340 --filter cross"
  "--size 160x90 --frames 40 --filter none"
)
for args in "${cases[@]}"; do
  # shellcheck disable=SC2086
  OMP_NUM_THREADS=2 timeout -s KILL 1200 qemu-aarch64 "$dir/tools/sponge-render/sponge-render" $args --quiet \
    --output "$logs/arm.ppm"
  # shellcheck disable=SC2086
  "$native" $args --quiet --output "$logs/native.ppm"
  if ! cmp -s "$logs/arm.ppm" "$logs/native.ppm"; then
    echo "test-cross: the ARM frame differs from the native one: $args" >&2
    exit 1
  fi
  echo "test-cross: the same frame on ARM and natively: $args" >&2
done
