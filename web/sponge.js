"use strict";
// The page: reads its URL parameters, loads the WebAssembly module that fits it (the
// threaded one where the page is cross-origin isolated), and renders one frame (or `per`)
// per animation frame onto the canvas. The state shows on <body> for whoever watches the
// page: data-state loading | running | stopped | error, data-module simd | threads,
// data-space up | held.
(function () {
  const body = document.body;
  const canvas = document.getElementById("view");
  const fpsLine = document.getElementById("fps");
  const frameNumber = document.getElementById("frame");
  const filterChoice = document.getElementById("filter");
  const moduleLine = document.getElementById("module");
  const errorLine = document.getElementById("error");

  const LARGEST_SIDE = 2048;
  const LARGEST_FRAME = 2147483647;

  let spaceDown = false;
  let stopped = false;

  function setSpace(held) {
    spaceDown = held;
    body.dataset.space = held ? "held" : "up";
  }

  function stop(why) {
    if (stopped) return;
    stopped = true;
    fpsLine.textContent = why;
    if (body.dataset.state !== "error") body.dataset.state = "stopped";
  }

  // Listening from the start, so that Space held while the module loads counts from the
  // first frame on.
  addEventListener("keydown", (event) => {
    if (event.code === "Space") {
      setSpace(true);
      event.preventDefault();
    } else if (event.code === "Escape") {
      stop("stopped (Escape)");
    }
  });
  addEventListener("keyup", (event) => {
    if (event.code === "Space") setSpace(false);
  });
  // A key released while the page had no focus is never seen: losing the focus releases it.
  addEventListener("blur", () => setSpace(false));

  // A whole decimal number from lo to hi, or an Error naming the parameter.
  function wholeNumber(name, text, lo, hi, what) {
    if (!/^[0-9]{1,10}$/.test(text) || Number(text) < lo || Number(text) > hi) {
      throw new Error(`${name}: expected ${what}, got '${text}'`);
    }
    return Number(text);
  }

  function settingsOf(params) {
    const settings = { filter: "cross", width: 240, height: 180, frames: LARGEST_FRAME, rawFirst: 0, rawLast: 0,
                       plain: false, per: 1 };
    const text = (name) => params.get(name);
    if (params.has("filter")) settings.filter = text("filter");  // checked against the module's list
    if (params.has("size")) {
      const what = `WxH with each side from 1 to ${LARGEST_SIDE}`;
      const sides = /^([^x]*)x([^x]*)$/.exec(text("size"));
      if (!sides) throw new Error(`size: expected ${what}, got '${text("size")}'`);
      settings.width = wholeNumber("size", sides[1], 1, LARGEST_SIDE, what);
      settings.height = wholeNumber("size", sides[2], 1, LARGEST_SIDE, what);
    }
    if (params.has("frames")) {
      settings.frames = wholeNumber("frames", text("frames"), 1, LARGEST_FRAME, "a whole number of frames from 1");
    }
    if (params.has("raw")) {
      const what = "FROM-TO with whole frame numbers from 1, FROM not after TO";
      const range = /^([^-]*)-([^-]*)$/.exec(text("raw"));
      if (!range) throw new Error(`raw: expected ${what}, got '${text("raw")}'`);
      settings.rawFirst = wholeNumber("raw", range[1], 1, LARGEST_FRAME, what);
      settings.rawLast = wholeNumber("raw", range[2], 1, LARGEST_FRAME, what);
      if (settings.rawFirst > settings.rawLast) throw new Error(`raw: expected ${what}, got '${text("raw")}'`);
    }
    if (params.has("path")) {
      if (text("path") !== "plain" && text("path") !== "fast") {
        throw new Error(`path: expected plain or fast, got '${text("path")}'`);
      }
      settings.plain = text("path") === "plain";
    }
    if (params.has("per")) settings.per = wholeNumber("per", text("per"), 1, 1000, "frames per animation frame, 1 to 1000");
    return settings;
  }

  function showError(message) {
    canvas.hidden = true;
    errorLine.hidden = false;
    errorLine.textContent = message;
    fpsLine.textContent = "";
    body.dataset.state = "error";
  }

  // The largest whole enlargement that fits the window, or the frame reduced to fit.
  function fitCanvas(width, height) {
    const room = Math.min((innerWidth * 0.9) / width, (innerHeight * 0.8) / height);
    const scale = room >= 1 ? Math.floor(room) : room;
    canvas.style.width = `${Math.max(1, Math.floor(width * scale))}px`;
    canvas.style.height = `${Math.max(1, Math.floor(height * scale))}px`;
  }

  function loadScript(src) {
    return new Promise((resolve, reject) => {
      const script = document.createElement("script");
      script.src = src;
      script.onload = resolve;
      script.onerror = () => reject(new Error(`cannot load ${src}`));
      document.head.appendChild(script);
    });
  }

  async function start() {
    let settings;
    try {
      settings = settingsOf(new URLSearchParams(location.search));
    } catch (error) {
      showError(error.message);
      return;
    }
    filterChoice.addEventListener("change", () => {
      const params = new URLSearchParams(location.search);
      params.set("filter", filterChoice.value);
      location.search = params.toString();
    });
    canvas.width = settings.width;
    canvas.height = settings.height;
    fitCanvas(settings.width, settings.height);

    // Without isolation there is no SharedArrayBuffer, and a threaded module would never start.
    const threaded = self.crossOriginIsolated === true && typeof SharedArrayBuffer !== "undefined";
    const variant = threaded ? "threads" : "simd";
    const threads = threaded ? Math.max(3, Math.min(9, (navigator.hardwareConcurrency || 2) + 1)) : 1;
    body.dataset.module = variant;
    let module;
    try {
      await loadScript(`sponge-${variant}.js`);
      module = await self[`create_${variant}`]({ onReportLine: (text) => { if (!stopped) fpsLine.textContent = text; } });
    } catch (error) {
      showError(`cannot start the WebAssembly module: ${error.message}`);
      return;
    }
    // The trail filters as the module lists them, "none" last.
    const filters = module.UTF8ToString(module._spongeTrailFilters()).split(" ");
    if (!filters.includes(settings.filter)) {
      const choices = `${filters.slice(0, -1).join(", ")} or ${filters[filters.length - 1]}`;
      showError(`filter: expected ${choices}, got '${settings.filter}'`);
      return;
    }
    filterChoice.replaceChildren(...filters.map((name) => new Option(name, name)));
    filterChoice.value = settings.filter;
    const session = module.ccall("spongeStart", "number",
                                 ["number", "number", "string", "number", "number", "number", "number"],
                                 [settings.width, settings.height, settings.filter, settings.plain ? 1 : 0,
                                  settings.rawFirst, settings.rawLast, threads]);
    if (!session) {
      showError(`not enough memory for a ${settings.width}x${settings.height} frame`);
      return;
    }
    moduleLine.textContent = `${module.UTF8ToString(module._spongePathName(session))}, ` +
                             `${threads} thread${threads > 1 ? "s" : ""}`;
    const context = canvas.getContext("2d");
    const bytes = settings.width * settings.height * 4;

    function draw() {
      const at = module._spongeRgba(session);
      // An ImageData cannot hold a view of shared memory (the threaded module's): copy it.
      const pixels = threaded ? new Uint8ClampedArray(module.HEAPU8.subarray(at, at + bytes))
                              : new Uint8ClampedArray(module.HEAPU8.buffer, at, bytes);
      context.putImageData(new ImageData(pixels, settings.width, settings.height), 0, 0);
    }

    function animate() {
      if (stopped) return;
      const frame = module._spongeFrames(session, settings.per, spaceDown ? 1 : 0, settings.frames);
      draw();
      frameNumber.textContent = String(frame);
      body.dataset.state = "running";
      if (frame >= settings.frames) {
        stop(`stopped after frame ${frame}`);
        return;
      }
      requestAnimationFrame(animate);
    }
    fpsLine.textContent = "";
    requestAnimationFrame(animate);
  }

  start();
})();
