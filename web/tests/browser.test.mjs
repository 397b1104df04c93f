// The page in Chromium: its canvas holds sponge-render's frames byte for byte, on the SIMD,
// the plain and the threaded module; Space and Escape as in the window programs; bad URL
// parameters say so; without isolation the single-threaded module runs.
import assert from "node:assert/strict";
import { after, before, describe, test } from "node:test";

import { firstDifference, launchBrowser, nativeFrame, rgbOf, serveSite } from "./support.mjs";

let browser, isolated, plain;

before(async () => {
  browser = await launchBrowser();
  isolated = await serveSite(true);
  plain = await serveSite(false);
});

after(async () => {
  await browser.close();
  await isolated.close();
  await plain.close();
});

async function openPage(site, query) {
  const page = await browser.newPage();
  const errors = [];
  page.on("pageerror", (error) => errors.push(error.message));
  await page.goto(`${site.url}?${query}`, { waitUntil: "domcontentloaded" });
  return { page, errors };
}

const state = (page) => page.evaluate(() => document.body.dataset.state);

async function waitForState(page, wanted) {
  await page.waitForFunction((w) => document.body.dataset.state === w, wanted, { timeout: 120000 });
}

async function canvasRgb(page) {
  const rgba = await page.evaluate(() => {
    const canvas = document.getElementById("view");
    return Array.from(canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data);
  });
  return rgbOf(Buffer.from(rgba));
}

const MODULES = [
  { name: "SIMD", site: () => plain, query: "", module: "simd" },
  { name: "plain", site: () => plain, query: "&path=plain", module: "simd" },
  { name: "threaded", site: () => isolated, query: "", module: "threads" },
];

const CASES = [
  { name: "cross", query: "filter=cross&frames=150&per=25", args: ["--filter", "cross", "--frames", "150"] },
  { name: "quad", query: "filter=quad&frames=150&per=25", args: ["--filter", "quad", "--frames", "150"] },
  { name: "raw range", query: "frames=140&raw=120-140&per=20&size=97x61",
    args: ["--frames", "140", "--raw", "120-140", "--size", "97x61"] },
];

describe("the canvas holds sponge-render's frame", () => {
  for (const m of MODULES) {
    for (const c of CASES) {
      test(`${c.name}, ${m.name} module`, async () => {
        const { page, errors } = await openPage(m.site(), c.query + m.query);
        await waitForState(page, "stopped");
        assert.equal(await page.evaluate(() => document.body.dataset.module), m.module);
        const frames = c.args[c.args.indexOf("--frames") + 1];
        assert.equal(await page.textContent("#frame"), frames);
        const width = Number((/size=(\d+)x/.exec(c.query) || [0, 240])[1]);
        const expected = nativeFrame(c.args);
        assert.equal(firstDifference(await canvasRgb(page), expected, width), "");
        assert.deepEqual(errors, []);
        await page.close();
      });
    }
  }
});

test("Space held from before the first frame gives raw frames, and losing the focus releases it", async () => {
  for (let attempt = 0; ; ++attempt) {
    const { page } = await openPage(plain, "frames=40&per=2");
    await page.keyboard.down("Space");
    // Only if the key went down before the first frame is the run all raw.
    if ((await state(page)) !== "loading" && attempt < 5) {
      await page.close();
      continue;
    }
    await waitForState(page, "stopped");
    assert.equal(await page.evaluate(() => document.body.dataset.space), "held");
    assert.equal(firstDifference(await canvasRgb(page), nativeFrame(["--frames", "40", "--raw", "1-40"]), 240), "");
    await page.evaluate(() => window.dispatchEvent(new Event("blur")));
    assert.equal(await page.evaluate(() => document.body.dataset.space), "up");
    await page.close();
    return;
  }
});

test("Escape stops the animation and the fps line says so", async () => {
  const { page } = await openPage(plain, "");
  await waitForState(page, "running");
  await page.keyboard.press("Escape");
  await waitForState(page, "stopped");
  const frame = await page.textContent("#frame");
  await page.waitForTimeout(300);
  assert.equal(await page.textContent("#frame"), frame);
  assert.match(await page.textContent("#fps"), /stopped/);
  await page.close();
});

test("the fps line comes once a second", async () => {
  const { page } = await openPage(isolated, "");
  await page.waitForFunction(() => / fps$/.test(document.getElementById("fps").textContent), null, { timeout: 120000 });
  assert.match(await page.textContent("#fps"), /^[0-9]+\.[0-9]{2} fps$/);
  await page.close();
});

const BAD = [
  ["size=0x5", "size"], ["size=3000x10", "size"], ["size=240", "size"], ["filter=blur", "filter"],
  ["frames=0", "frames"], ["frames=1e3", "frames"], ["raw=5-3", "raw"], ["raw=7", "raw"], ["path=gpu", "path"],
  ["per=0", "per"],
];

test("bad URL parameters show one line naming the parameter, and no canvas", async () => {
  for (const [query, named] of BAD) {
    const { page } = await openPage(plain, query);
    await waitForState(page, "error");
    const message = await page.textContent("#error");
    assert.match(message, new RegExp(`^${named}: `), query);
    assert.ok(!message.includes("\n"), query);
    assert.equal(await page.isVisible("#error"), true, query);
    assert.equal(await page.isVisible("#view"), false, query);
    await page.close();
  }
});

test("without the isolation headers the single-threaded module runs; with them, the threaded one", async () => {
  for (const [site, module] of [[plain, "simd"], [isolated, "threads"]]) {
    const { page, errors } = await openPage(site, "frames=5");
    await waitForState(page, "stopped");
    assert.equal(await page.evaluate(() => document.body.dataset.module), module);
    assert.match(await page.textContent("#module"), module === "threads" ? /WASM, [3-9] threads/ : /WASM, 1 thread/);
    assert.deepEqual(errors, []);
    await page.close();
  }
});
