// What the browser and node tests share: the built site, the native sponge-render to compare
// with, Debian's Chromium through playwright-core, and frames as RGB bytes.
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";

import { chromium } from "playwright-core";

import { serve } from "../serve.mjs";

if (!process.env.SPONGE_SITE || !process.env.SPONGE_RENDER) {
  throw new Error("set SPONGE_SITE (build-web/site) and SPONGE_RENDER (the native sponge-render)");
}
export const SITE = resolve(process.env.SPONGE_SITE);
export const RENDER = resolve(process.env.SPONGE_RENDER);

// The RGB bytes of sponge-render's frame: args as on its command line, without --output.
export function nativeFrame(args) {
  const dir = mkdtempSync(join(tmpdir(), "sponge-web-"));
  try {
    execFileSync(RENDER, [...args, "--quiet", "--output", join(dir, "frame.ppm")]);
    const ppm = readFileSync(join(dir, "frame.ppm"));
    // "P6\nW H\n255\n", then the bytes.
    let newlines = 0, at = 0;
    while (newlines < 3) if (ppm[at++] === 0x0a) ++newlines;
    return ppm.subarray(at);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// The RGB bytes of RGBA ones whose alpha must all be 255.
export function rgbOf(rgba) {
  const rgb = Buffer.alloc((rgba.length / 4) * 3);
  for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) {
    if (rgba[i + 3] !== 255) throw new Error(`pixel ${i / 4} is not opaque`);
    rgb[j] = rgba[i];
    rgb[j + 1] = rgba[i + 1];
    rgb[j + 2] = rgba[i + 2];
  }
  return rgb;
}

// The first differing pixel of two RGB frames of the given width, as words, or "".
export function firstDifference(a, b, width) {
  if (a.length !== b.length) return `${a.length} bytes against ${b.length}`;
  for (let i = 0; i < a.length; ++i) {
    if (a[i] !== b[i]) {
      const p = Math.floor(i / 3);
      return `pixel (${p % width}, ${Math.floor(p / width)}): ${a.subarray(3 * p, 3 * p + 3).toString("hex")} ` +
             `against ${b.subarray(3 * p, 3 * p + 3).toString("hex")}`;
    }
  }
  return "";
}

// Chromium as root needs --no-sandbox, which Playwright adds itself; the other flags keep it
// off the network this machine does not have.
export async function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.SPONGE_CHROMIUM || "/usr/bin/chromium",
    args: ["--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync"],
  });
}

// The site on a free port, isolated (threads) or not.
export async function serveSite(isolated) {
  const server = await serve(SITE, { port: 0, isolated });
  return { url: `http://127.0.0.1:${server.address().port}/`, close: () => new Promise((r) => server.close(r)) };
}
