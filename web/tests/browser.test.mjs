// The page in Chromium: its frames are sponge-render's byte for byte, on the SIMD, the plain
// and the threaded module; the canvas fills any screen by the pixel-centre rule; Space, touch,
// Escape, fullscreen and every control behave; a saved PNG and a saved flight give the native
// frames; bad URL parameters say so.
import assert from "node:assert/strict";
import { mkdirSync, readFileSync, writeFileSync } from "node:fs";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";

import { decodePng, firstDifference, launchBrowser, nativeFrame, pageFrame, rgbOf, serveSite, SITE } from "./support.mjs";

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

// A page in a context of its own: viewport, device-pixel ratio and touch as asked.
async function openPage(site, query, { viewport = { width: 1280, height: 800 }, dpr = 1, touch = false } = {}) {
  const context = await browser.newContext({ viewport, deviceScaleFactor: dpr, hasTouch: touch, acceptDownloads: true });
  const page = await context.newPage();
  const errors = [];
  page.on("pageerror", (error) => errors.push(error.message));
  await page.goto(`${site.url}?${query}`, { waitUntil: "domcontentloaded" });
  page.close = () => context.close();
  return { page, errors };
}

const attribute = (page, name) => page.evaluate((n) => document.body.dataset[n], name);

async function waitForState(page, wanted) {
  await page.waitForFunction((w) => document.body.dataset.state === w, wanted, { timeout: 120000 });
}

async function frameAt(page) {
  return Number(await page.textContent("#frame"));
}

// Waits for the download a click starts; { name, data }.
async function downloadOf(page, selector) {
  const [download] = await Promise.all([page.waitForEvent("download"), page.click(selector)]);
  return { name: download.suggestedFilename(), data: readFileSync(await download.path()) };
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

describe("the frame is sponge-render's", () => {
  for (const m of MODULES) {
    for (const c of CASES) {
      test(`${c.name}, ${m.name} module`, async () => {
        const { page, errors } = await openPage(m.site(), c.query + m.query);
        await waitForState(page, "stopped");
        assert.equal(await attribute(page, "module"), m.module);
        const frames = c.args[c.args.indexOf("--frames") + 1];
        assert.equal(await page.textContent("#frame"), frames);
        const width = Number((/size=(\d+)x/.exec(c.query) || [0, 240])[1]);
        assert.equal(firstDifference(await pageFrame(page), nativeFrame(c.args), width), "");
        assert.deepEqual(errors, []);
        await page.close();
      });
    }
  }
});

// ---- Fitting the screen -------------------------------------------------------------------

// What the canvas shows, checked in the page: the frame at the largest size of its aspect in
// the stage's device pixels, CSS size = device size / ratio, and every device pixel the frame
// pixel under its centre. Returns a description of the first fault, or "".
function checkFit() {
  const view = document.getElementById("view"), frame = document.getElementById("render");
  const stage = document.getElementById("stage");
  const dpr = window.devicePixelRatio;
  const areaW = Math.floor(stage.clientWidth * dpr), areaH = Math.floor(stage.clientHeight * dpr);
  const fw = frame.width, fh = frame.height, vw = view.width, vh = view.height;
  const full = (vw === areaW && vh <= areaH) || (vh === areaH && vw <= areaW);
  if (!full) return `canvas ${vw}x${vh} does not fill ${areaW}x${areaH} along either side`;
  if (Math.abs(vw * fh - vh * fw) > Math.max(fw, fh)) return `canvas ${vw}x${vh} is not the aspect of ${fw}x${fh}`;
  const cssW = parseFloat(view.style.width), cssH = parseFloat(view.style.height);
  if (Math.abs(cssW * dpr - vw) > 0.01 || Math.abs(cssH * dpr - vh) > 0.01) {
    return `CSS ${cssW}x${cssH} at ratio ${dpr} is not ${vw}x${vh} device pixels`;
  }
  const small = frame.getContext("2d").getImageData(0, 0, fw, fh).data;
  const big = view.getContext("2d").getImageData(0, 0, vw, vh).data;
  for (let y = 0; y < vh; ++y) {
    const sy = Math.floor(((2 * y + 1) * fh) / (2 * vh));
    for (let x = 0; x < vw; ++x) {
      const sx = Math.floor(((2 * x + 1) * fw) / (2 * vw));
      for (let k = 0; k < 3; ++k) {
        if (big[4 * (y * vw + x) + k] !== small[4 * (sy * fw + sx) + k]) {
          return `device pixel (${x}, ${y}) is not frame pixel (${sx}, ${sy})`;
        }
      }
    }
  }
  return "";
}

describe("the canvas fits the screen", () => {
  const SCREENS = [
    { name: "phone", viewport: { width: 360, height: 740 } },
    { name: "laptop", viewport: { width: 1280, height: 800 } },
    { name: "4K", viewport: { width: 3840, height: 2160 } },
  ];
  for (const screen of SCREENS) {
    for (const dpr of [1, 2]) {
      if (screen.name === "4K" && dpr === 2) continue;  // 1920 x 1080 at ratio 2 stands for it below
      test(`${screen.name}, device-pixel ratio ${dpr}`, async () => {
        const { page } = await openPage(plain, "frames=20&per=10", { viewport: screen.viewport, dpr });
        await waitForState(page, "stopped");
        assert.equal(await page.evaluate(checkFit), "");
        // A phone's width decides: the picture spans it.
        if (screen.name === "phone") assert.equal(await page.evaluate(() => parseFloat(view.style.width)), 360);
        await page.close();
      });
    }
  }

  test("4K in device pixels (1920 x 1080 at ratio 2), and a rotation", async () => {
    const { page } = await openPage(plain, "frames=20&per=10&size=1920x1080",
                                    { viewport: { width: 1920, height: 1080 }, dpr: 2 });
    await waitForState(page, "stopped");
    assert.ok(await page.evaluate(() => view.width > 3000), "device pixels, not CSS pixels");
    assert.equal(await page.evaluate(checkFit), "");
    await page.setViewportSize({ width: 1080, height: 1920 });  // turned on its side: the width decides
    await page.waitForFunction(() => view.width === 2160, null, { timeout: 10000 });
    assert.equal(await page.evaluate(checkFit), "");
    await page.close();
  });
});

test("fullscreen is entered and left without stopping", async () => {
  const { page } = await openPage(plain, "", { viewport: { width: 800, height: 600 } });
  await waitForState(page, "running");
  const isFull = () => page.evaluate(() => document.fullscreenElement === document.getElementById("stage"));
  // fullscreenElement changes before the fullscreenchange event that moves the focus is
  // dispatched (with the next rendering update), so the focus is waited for, not read at once.
  const focusComesTo = async (id) => {
    try {
      await page.waitForFunction((want) => document.activeElement.id === want, id, { timeout: 10000 });
    } catch {
      assert.equal(await page.evaluate(() => document.activeElement.id), id);
    }
  };
  const advancing = async () => {
    const before = await frameAt(page);
    await page.waitForFunction((b) => Number(document.getElementById("frame").textContent) > b + 10, before,
                               { timeout: 30000 });
    assert.equal(await attribute(page, "state"), "running");
  };
  // The button with the mouse, the browser's Escape to leave.
  await page.click("#fullscreen");
  await page.waitForFunction(() => document.fullscreenElement !== null, null, { timeout: 10000 });
  assert.equal(await isFull(), true);
  // The stage is resized, and the canvas fitted to it, some rendering updates later.
  await page.waitForFunction(`(${checkFit})() === ""`, null, { timeout: 10000 }).catch(() => {});
  assert.equal(await page.evaluate(checkFit), "");
  await page.keyboard.press("Escape");
  await page.waitForFunction(() => document.fullscreenElement === null, null, { timeout: 10000 });
  await advancing();
  // The button from the keyboard: the focus goes to the way out, and back again.
  await page.focus("#fullscreen");
  await page.keyboard.press("Enter");
  await page.waitForFunction(() => document.fullscreenElement !== null, null, { timeout: 10000 });
  await focusComesTo("leave-fullscreen");
  await page.keyboard.press("Enter");
  await page.waitForFunction(() => document.fullscreenElement === null, null, { timeout: 10000 });
  await focusComesTo("fullscreen");
  // The way out with the mouse, and the F key both ways.
  await page.click("#fullscreen");
  await page.waitForFunction(() => document.fullscreenElement !== null, null, { timeout: 10000 });
  await page.mouse.move(400, 300);
  await page.click("#leave-fullscreen");
  await page.waitForFunction(() => document.fullscreenElement === null, null, { timeout: 10000 });
  await page.focus("#view");
  await page.keyboard.press("KeyF");
  await page.waitForFunction(() => document.fullscreenElement !== null, null, { timeout: 10000 });
  await page.keyboard.press("KeyF");
  await page.waitForFunction(() => document.fullscreenElement === null, null, { timeout: 10000 });
  await advancing();
  await page.close();
});

// ---- Keys, touch, the run ----------------------------------------------------------------

test("Space held before the first frame gives raw frames, and losing the focus releases it", async () => {
  // play=0: nothing is rendered until Play, so Space is surely down before frame 1.
  const { page } = await openPage(plain, "frames=40&per=2&play=0");
  await waitForState(page, "stopped");
  assert.equal(await frameAt(page), 0);
  await page.focus("#view");
  await page.keyboard.down("Space");
  await page.click("#play");
  await waitForState(page, "running");
  await page.waitForFunction(() => document.getElementById("state-line").textContent === "stopped after frame 40",
                             null, { timeout: 120000 });
  assert.equal(await attribute(page, "space"), "held");
  assert.equal(firstDifference(await pageFrame(page), nativeFrame(["--frames", "40", "--raw", "1-40"]), 240), "");
  await page.evaluate(() => window.dispatchEvent(new Event("blur")));
  assert.equal(await attribute(page, "space"), "up");
  await page.close();
});

test("a touch held on the picture gives raw frames, and letting go brings the trail back", async () => {
  const { page } = await openPage(plain, "frames=40&per=2&play=0", { touch: true });
  await waitForState(page, "stopped");
  const box = await page.locator("#view").boundingBox();
  const cdp = await page.context().newCDPSession(page);
  const point = { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  await cdp.send("Input.dispatchTouchEvent", { type: "touchStart", touchPoints: [point] });
  await page.waitForFunction(() => document.body.dataset.space === "held", null, { timeout: 10000 });
  await page.click("#play");  // with the mouse: the finger stays down
  await page.waitForFunction(() => document.getElementById("state-line").textContent === "stopped after frame 40",
                             null, { timeout: 120000 });
  assert.equal(firstDifference(await pageFrame(page), nativeFrame(["--frames", "40", "--raw", "1-40"]), 240), "");
  await cdp.send("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
  await page.waitForFunction(() => document.body.dataset.space === "up", null, { timeout: 10000 });
  await page.click("#play");  // played to its end: from frame 1 again, with the trail
  await page.waitForFunction(() => document.getElementById("state-line").textContent === "stopped after frame 40",
                             null, { timeout: 120000 });
  assert.equal(firstDifference(await pageFrame(page), nativeFrame(["--frames", "40"]), 240), "");
  await page.close();
});

test("Escape stops the animation, the last rate stays, Play goes on", async () => {
  const { page } = await openPage(plain, "");
  await page.waitForFunction(() => / fps$/.test(document.getElementById("fps").textContent), null, { timeout: 120000 });
  await page.keyboard.press("Escape");
  await waitForState(page, "stopped");
  const frame = await frameAt(page);
  await page.waitForTimeout(300);
  assert.equal(await frameAt(page), frame);
  assert.match(await page.textContent("#fps"), /^[0-9]+\.[0-9]{2} fps$/);
  assert.match(await page.textContent("#state-line"), /stopped/);
  await page.focus("#play");
  await page.keyboard.press("Enter");  // the stop/play control from the keyboard
  await page.waitForFunction((f) => Number(document.getElementById("frame").textContent) > f, frame, { timeout: 30000 });
  await page.close();
});

test("when a run ends the status keeps the last rate and says it stopped", async () => {
  const { page } = await openPage(isolated, "frames=150");  // two and a half seconds at 60 a second
  await waitForState(page, "stopped");
  assert.match(await page.textContent("#fps"), /^[0-9]+\.[0-9]{2} fps$/);
  assert.equal(await page.textContent("#state-line"), "stopped after frame 150");
  await page.close();
});

test("many frames per animation frame at a large size leave the page answering", async () => {
  const { page } = await openPage(isolated, "per=1000&size=2048x2048");
  await waitForState(page, "running");
  const started = Date.now();
  await page.keyboard.press("Escape");
  await waitForState(page, "stopped");
  assert.ok(Date.now() - started < 20000, "Escape took too long to be seen");
  await page.close();
});

// ---- Controls and the URL ----------------------------------------------------------------

test("the trail, the size, the pace and Fly change what is rendered and the URL", async () => {
  const { page } = await openPage(plain, "frames=30&per=10&play=0");
  await waitForState(page, "stopped");
  await page.selectOption("#filter", "quad");
  assert.match(page.url(), /filter=quad/);
  await page.selectOption("#size", "320x240");
  assert.match(page.url(), /size=320x240/);
  await page.click("#play");
  await page.waitForFunction(() => document.getElementById("state-line").textContent === "stopped after frame 30",
                             null, { timeout: 120000 });
  assert.equal(firstDifference(await pageFrame(page),
                               nativeFrame(["--filter", "quad", "--size", "320x240", "--frames", "30"]), 320), "");
  // A new size starts again at frame 1.
  await page.selectOption("#size", "480x270");
  assert.equal(await frameAt(page), 0);
  await page.selectOption("#pace", "max");
  assert.match(page.url(), /pace=max/);
  await page.click("#fly");
  assert.match(page.url(), /fly=1/);
  assert.equal(await attribute(page, "fly"), "on");
  // The link shows what the page showed.
  const link = page.url();
  await page.goto(link);
  await page.waitForFunction(() => document.getElementById("filter").options.length > 0, null, { timeout: 60000 });
  assert.deepEqual(await page.evaluate(() => ["filter", "size", "pace"].map((id) => document.getElementById(id).value)),
                   ["quad", "480x270", "max"]);
  assert.equal(await attribute(page, "fly"), "on");
  await page.close();
});

test("Save PNG keeps the frame as sponge-render writes it", async () => {
  const { page } = await openPage(plain, "frames=50&per=10&filter=quad&size=97x61");
  await waitForState(page, "stopped");
  const png = await downloadOf(page, "#save-png");
  assert.equal(png.name, "sponge-00000050.png");
  const image = decodePng(png.data);
  assert.deepEqual([image.width, image.height], [97, 61]);
  assert.equal(firstDifference(rgbOf(image.rgba), nativeFrame(["--frames", "50", "--filter", "quad", "--size", "97x61"]), 97), "");
  // The P key does the same.
  const [download] = await Promise.all([page.waitForEvent("download"), page.keyboard.press("KeyP")]);
  assert.equal(download.suggestedFilename(), "sponge-00000050.png");
  await page.close();
});

test("every control is reachable by keyboard with a visible focus and has a name", async () => {
  const { page } = await openPage(plain, "frames=5");
  await waitForState(page, "stopped");
  const reached = new Set();
  for (let i = 0; i < 20; ++i) {
    await page.keyboard.press("Tab");
    const focused = await page.evaluate(() => {
      const e = document.activeElement;
      return { id: e.id, outline: getComputedStyle(e).outlineStyle };
    });
    if (focused.id) {
      reached.add(focused.id);
      assert.notEqual(focused.outline, "none", `${focused.id} shows no focus`);
    }
  }
  for (const id of ["view", "play", "fullscreen", "save-png", "size", "filter", "pace", "fly", "save-flight", "open-flight"]) {
    assert.ok(reached.has(id), `${id} is not reached by Tab`);
  }
  for (const name of ["Stop", "Play", "Fullscreen", "Save PNG", "Fly", "Save flight", "Open flight"]) {
    if (name === "Stop") continue;  // the one control says Play now, the run having ended
    assert.equal(await page.getByRole("button", { name, exact: true }).count(), 1, name);
  }
  for (const name of ["Size", "Trail", "Pace"]) assert.equal(await page.getByLabel(name).count(), 1, name);
  await page.close();
});

// ---- Flights -----------------------------------------------------------------------------

test("a flight flown with the keyboard, saved, renders natively as the page showed it", async () => {
  const { page, errors } = await openPage(plain, "fly=1&frames=200&size=64x48");
  await page.waitForFunction(() => Number(document.getElementById("frame").textContent) >= 20, null, { timeout: 120000 });
  await page.focus("#view");
  await page.keyboard.down("KeyW");
  await page.keyboard.down("ArrowRight");
  await page.waitForTimeout(500);
  await page.keyboard.up("ArrowRight");
  await page.keyboard.press("KeyX");
  await page.mouse.move(100, 100);
  await page.mouse.down();
  await page.mouse.move(160, 70, { steps: 5 });
  await page.mouse.up();
  await page.keyboard.up("KeyW");
  await page.waitForFunction(() => document.getElementById("state-line").textContent === "stopped after frame 200",
                             null, { timeout: 120000 });
  const saved = await downloadOf(page, "#save-flight");
  assert.equal(saved.name, "sponge-00000200.flight");
  const lines = saved.data.toString().split("\n").filter((l) => l && !l.startsWith("#"));
  assert.equal(lines.length, 200);
  const dir = mkdtempSync(join(tmpdir(), "sponge-flight-"));
  try {
    writeFileSync(join(dir, "page.flight"), saved.data);
    // Steered: the last pose is not the fixed path's, and X turned the single-axis phase on.
    assert.equal(lines[199].split(" ")[6], "1");
    assert.equal(firstDifference(await pageFrame(page), nativeFrame(["--flight", join(dir, "page.flight"), "--size", "64x48"]), 64), "");
    assert.notEqual(firstDifference(await pageFrame(page), nativeFrame(["--frames", "200", "--size", "64x48"]), 64), "");
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
  assert.deepEqual(errors, []);
  await page.close();
});

test("flight= plays a flight of the site, Open flight one from disk, a bad one says why", async () => {
  const { page } = await openPage(isolated, "flight=tour.flight&frames=90&per=30&size=80x45");
  await waitForState(page, "stopped");
  assert.equal(await frameAt(page), 90);
  assert.equal(firstDifference(await pageFrame(page),
                               nativeFrame(["--flight", join(SITE, "tour.flight"), "--frames", "90", "--size", "80x45"]), 80), "");
  // From disk: the flight plays from frame 1 and ends at its last frame.
  await page.setInputFiles("#flight-file", { name: "short.flight", mimeType: "text/plain",
                                             buffer: Buffer.from("1 0.5 0.5 0.5 1.5708 0 0\n30 0.5 1.5 0.5 1.5708 0.3 0\n") });
  await page.waitForFunction(() => document.getElementById("state-line").textContent === "stopped after frame 30",
                             null, { timeout: 120000 });
  assert.doesNotMatch(page.url(), /flight=/);
  // A bad file is refused with its line and reason; the page goes on.
  await page.setInputFiles("#flight-file", { name: "bad.flight", mimeType: "text/plain",
                                             buffer: Buffer.from("1 0 0 0 0 0 0\n2 0 0 nan 0 0 0\n") });
  await page.waitForFunction(() => document.getElementById("notice").textContent !== "", null, { timeout: 30000 });
  assert.equal(await page.textContent("#notice"), "bad.flight:2: p2: 'nan' is not a finite number");
  assert.notEqual(await attribute(page, "state"), "error");
  await page.close();
});

// ---- Parameters and modules --------------------------------------------------------------

test("the fps line comes once a second", async () => {
  const { page } = await openPage(isolated, "");
  await page.waitForFunction(() => / fps$/.test(document.getElementById("fps").textContent), null, { timeout: 120000 });
  assert.match(await page.textContent("#fps"), /^[0-9]+\.[0-9]{2} fps$/);
  await page.close();
});

const BAD = [
  ["size=0x5", "size"], ["size=3000x10000", "size"], ["size=3840x3840", "size"], ["size=240", "size"],
  ["filter=blur", "filter"], ["filter=constructor", "filter"], ["filter=__proto__", "filter"],
  ["filter=toString", "filter"], ["filter=valueOf", "filter"], ["filter=hasOwnProperty", "filter"],
  ["frames=0", "frames"], ["frames=1e3", "frames"], ["raw=5-3", "raw"], ["raw=7", "raw"], ["path=gpu", "path"],
  ["per=0", "per"], ["pace=30", "pace"], ["fly=yes", "fly"], ["flight=missing.flight", "flight"],
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
    assert.equal(await attribute(page, "module"), module);
    assert.match(await page.textContent("#module"), module === "threads" ? /WASM, [3-9] threads/ : /WASM, 1 thread/);
    assert.deepEqual(errors, []);
    await page.close();
  }
});

// SPONGE_PAGE_SHOTS=DIR: the README's pictures of the page, at a phone's and a desktop's size.
test("pictures of the page", { skip: !process.env.SPONGE_PAGE_SHOTS }, async () => {
  const dir = process.env.SPONGE_PAGE_SHOTS;
  mkdirSync(dir, { recursive: true });
  for (const [name, viewport, dpr] of [["page-phone", { width: 390, height: 844 }, 2],
                                       ["page-desktop", { width: 1280, height: 800 }, 1]]) {
    const { page } = await openPage(isolated, "frames=900&pace=max&size=480x270", { viewport, dpr });
    await waitForState(page, "stopped");
    await page.screenshot({ path: join(dir, `${name}.png`) });
    await page.close();
  }
});
