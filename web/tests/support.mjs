// What the browser and node tests share: the built site, the native sponge-render to compare
// with, Debian's Chromium through playwright-core, and frames as RGB bytes.
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { inflateSync } from "node:zlib";

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

// { width, height, rgba } of a PNG of 8-bit RGB or RGBA without interlacing, as a canvas or
// sponge-render writes them.
export function decodePng(data) {
  if (data.subarray(0, 8).toString("hex") !== "89504e470d0a1a0a") throw new Error("not a PNG");
  let at = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (at < data.length) {
    const length = data.readUInt32BE(at), kind = data.toString("latin1", at + 4, at + 8);
    const chunk = data.subarray(at + 8, at + 8 + length);
    if (kind === "IHDR") {
      width = chunk.readUInt32BE(0);
      height = chunk.readUInt32BE(4);
      const [depth, colour, , , interlace] = chunk.subarray(8, 13);
      if (depth !== 8 || interlace !== 0 || (colour !== 2 && colour !== 6)) throw new Error("unexpected PNG kind");
      channels = colour === 2 ? 3 : 4;
    } else if (kind === "IDAT") {
      idat.push(chunk);
    }
    at += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * channels, out = Buffer.alloc(width * height * 4);
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let i = 0; i < stride; ++i) {
      const a = i >= channels ? line[i - channels] : 0, b = previous[i], c = i >= channels ? previous[i - channels] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predicted = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      line[i] = (line[i] + predicted) & 255;
    }
    for (let x = 0; x < width; ++x) {
      for (let k = 0; k < 4; ++k) out[4 * (y * width + x) + k] = k < channels ? line[x * channels + k] : 255;
    }
    previous = line;
  }
  return { width, height, rgba: out };
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

// The RGB bytes of the page's frame at its render size.
export async function pageFrame(page) {
  const rgba = await page.evaluate(() => {
    const canvas = document.getElementById("render");
    return Array.from(canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data);
  });
  return rgbOf(Buffer.from(rgba));
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
