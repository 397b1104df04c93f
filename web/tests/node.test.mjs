// The single-threaded module in node, frame after frame through the first single-axis phase,
// against the frames of the native sponge-render.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { test } from "node:test";

import { firstDifference, RENDER, rgbOf, SITE } from "./support.mjs";

const WIDTH = 160, HEIGHT = 120, FRAMES = 1800;

test(`frames 1-${FRAMES} with the cross trail are the native ones`, async () => {
  const dir = mkdtempSync(join(tmpdir(), "sponge-node-"));
  try {
    execFileSync(RENDER, ["--size", `${WIDTH}x${HEIGHT}`, "--frames", String(FRAMES), "--quiet",
                          "--output", join(dir, "f-%d.ppm")]);
    const create = createRequire(import.meta.url)(join(SITE, "sponge-simd.js"));
    // The module's own loader would fetch the binary, which node's fetch cannot do from a path.
    const module = await create({ wasmBinary: readFileSync(join(SITE, "sponge-simd.wasm")) });
    const session = module.ccall("spongeStart", "number",
                                 ["number", "number", "string", "number", "number", "number", "number"],
                                 [WIDTH, HEIGHT, "cross", 0, 0, 0, 1]);
    const bytes = WIDTH * HEIGHT * 4;
    for (let frame = 1; frame <= FRAMES; ++frame) {
      assert.equal(module._spongeFrames(session, 1, 0, FRAMES, 0, 0, 0, 0), frame);
      const at = module._spongeRgba(session);
      const ppm = readFileSync(join(dir, `f-${frame}.ppm`));
      const expected = ppm.subarray(ppm.length - WIDTH * HEIGHT * 3);
      const difference = firstDifference(rgbOf(module.HEAPU8.subarray(at, at + bytes)), expected, WIDTH);
      assert.equal(difference, "", `frame ${frame}`);
    }
    module._spongeStop(session);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
