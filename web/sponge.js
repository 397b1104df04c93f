"use strict";
// The page: reads its settings from the URL (and keeps the URL following the controls, so a
// link shows what the page shows), loads the WebAssembly module that fits it (the threaded
// one where the page is cross-origin isolated), renders frames on a paced schedule and shows
// each on a canvas as large as the screen allows. The state shows on <body> for whoever
// watches the page: data-state loading | running | stopped | error, data-module simd |
// threads, data-space up | held, data-fly on | off.
(function () {
  const body = document.body;
  const stage = document.getElementById("stage");
  const view = document.getElementById("view");
  const frameCanvas = document.getElementById("render");
  const fpsLine = document.getElementById("fps");
  const frameNumber = document.getElementById("frame");
  const stateLine = document.getElementById("state-line");
  const notice = document.getElementById("notice");
  const moduleLine = document.getElementById("module");
  const errorLine = document.getElementById("error");
  const playButton = document.getElementById("play");
  const flyButton = document.getElementById("fly");
  const sizeChoice = document.getElementById("size");
  const filterChoice = document.getElementById("filter");
  const paceChoice = document.getElementById("pace");
  const flightFile = document.getElementById("flight-file");

  const LARGEST_SIDE = 3840;
  const LARGEST_AREA = 3840 * 2160;
  const LARGEST_FRAME = 2147483647;
  const SIZES = ["240x180", "320x240", "480x270", "640x480", "960x540", "1280x720", "1920x1080", "2560x1440",
                 "3840x2160"];
  // However many frames are asked for, an animation frame renders for no longer than this, so
  // that the page keeps answering keys and clicks.
  const BUDGET_MS = 40;
  const FAST_BUDGET_MS = 12;  // pace "as fast as it renders": frames per animation frame
  const PERIOD_MS = 1000 / 60;

  // ---- Settings ---------------------------------------------------------------------------

  // A whole decimal number from lo to hi, or an Error naming the parameter.
  function wholeNumber(name, text, lo, hi, what) {
    if (!/^[0-9]{1,10}$/.test(text) || Number(text) < lo || Number(text) > hi) {
      throw new Error(`${name}: expected ${what}, got '${text}'`);
    }
    return Number(text);
  }

  function sizeOf(text) {
    const what = `WxH with each side from 1 to ${LARGEST_SIDE}, at most ${LARGEST_AREA} pixels`;
    const sides = /^([^x]*)x([^x]*)$/.exec(text);
    if (!sides) throw new Error(`size: expected ${what}, got '${text}'`);
    const width = wholeNumber("size", sides[1], 1, LARGEST_SIDE, what);
    const height = wholeNumber("size", sides[2], 1, LARGEST_SIDE, what);
    if (width * height > LARGEST_AREA) throw new Error(`size: expected ${what}, got '${text}'`);
    return { width, height };
  }

  function settingsOf(params) {
    const settings = { filter: "cross", width: 240, height: 180, frames: LARGEST_FRAME, rawFirst: 0, rawLast: 0,
                       plain: false, per: 1, pace: "60", fly: false, flight: "", play: true };
    const text = (name) => params.get(name);
    if (params.has("filter")) settings.filter = text("filter");  // checked against the module's list
    if (params.has("size")) Object.assign(settings, sizeOf(text("size")));
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
    if (params.has("pace")) {
      if (text("pace") !== "60" && text("pace") !== "max") throw new Error(`pace: expected 60 or max, got '${text("pace")}'`);
      settings.pace = text("pace");
    }
    for (const flag of ["fly", "play"]) {
      if (params.has(flag)) {
        if (text(flag) !== "0" && text(flag) !== "1") throw new Error(`${flag}: expected 0 or 1, got '${text(flag)}'`);
        settings[flag] = text(flag) === "1";
      }
    }
    if (params.has("flight")) {
      if (text("flight") === "") throw new Error("flight: expected the address of a flight file, got ''");
      settings.flight = text("flight");
    }
    return settings;
  }

  let settings;
  let filters = [];

  // The URL, rewritten to say what the controls say (nothing is loaded again).
  function followInUrl(changes) {
    const params = new URLSearchParams(location.search);
    for (const [name, value] of Object.entries(changes)) {
      if (value === null) params.delete(name);
      else params.set(name, value);
    }
    history.replaceState(null, "", `${location.pathname}?${params.toString()}`);
  }

  // ---- Showing the frame ------------------------------------------------------------------

  // The largest size of the frame's aspect within the stage, in device pixels: the enlargement
  // is decided by the screen's own pixels, each the frame pixel under its centre (the canvas
  // is drawn without smoothing), so a high-density screen shows the frame sharp.
  function fitView() {
    if (!settings) return;
    const dpr = window.devicePixelRatio || 1;
    const areaWidth = Math.floor(stage.clientWidth * dpr), areaHeight = Math.floor(stage.clientHeight * dpr);
    const w = settings.width, h = settings.height;
    let fitWidth, fitHeight;
    if (areaWidth * h <= areaHeight * w) {
      fitWidth = areaWidth;
      fitHeight = Math.floor((areaWidth * h) / w);
    } else {
      fitWidth = Math.floor((areaHeight * w) / h);
      fitHeight = areaHeight;
    }
    fitWidth = Math.max(1, fitWidth);
    fitHeight = Math.max(1, fitHeight);
    if (view.width !== fitWidth || view.height !== fitHeight) {
      view.width = fitWidth;
      view.height = fitHeight;
    }
    view.style.width = `${fitWidth / dpr}px`;
    view.style.height = `${fitHeight / dpr}px`;
    // Centred on whole device pixels, so that no resampling blurs the picture.
    view.style.left = `${Math.floor((areaWidth - fitWidth) / 2) / dpr}px`;
    view.style.top = `${Math.floor((areaHeight - fitHeight) / 2) / dpr}px`;
    present();
  }

  // The frame on the canvas on screen, enlarged by the module (the browser's own nearest
  // sampling does not keep to the pixel-centre rule at every size).
  function present() {
    if (!session) return;
    const at = module._spongeShow(session, view.width, view.height);
    if (!at) {
      notice.textContent = `not enough memory to show the frame at ${view.width}x${view.height}`;
      return;
    }
    view.getContext("2d").putImageData(new ImageData(heapBytes(at, view.width * view.height * 4), view.width, view.height), 0, 0);
  }

  // Bytes of the module's memory for an ImageData, which cannot hold a view of shared memory
  // (the threaded module's): then a copy.
  function heapBytes(at, count) {
    return threaded ? new Uint8ClampedArray(module.HEAPU8.subarray(at, at + count))
                    : new Uint8ClampedArray(module.HEAPU8.buffer, at, count);
  }

  new ResizeObserver(fitView).observe(stage);
  // A window moved to a screen of another density changes the ratio without resizing anything.
  function watchDensity() {
    matchMedia(`(resolution: ${window.devicePixelRatio}dppx)`).addEventListener("change", () => {
      fitView();
      watchDensity();
    }, { once: true });
  }
  watchDensity();

  function showError(message) {
    stage.hidden = true;
    errorLine.hidden = false;
    errorLine.textContent = message;
    fpsLine.textContent = "";
    body.dataset.state = "error";
  }

  function download(blob, name) {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(blob);
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  }

  const eightDigits = (n) => String(n).padStart(8, "0");

  // ---- Input ------------------------------------------------------------------------------

  let spaceKey = false, touchHold = false;
  let controlBits = {};         // the module's free-flight controls: name -> bit
  const heldKeys = new Set();   // event.code of the keys held
  let pressed = 0;              // pressed controls since the last animation frame
  let dragX = 0, dragY = 0, wheel = 0;
  const touches = new Map();    // pointerId -> last position, for touches on the canvas
  let mouseDrag = null;

  const FLIGHT_KEYS = { KeyW: "forward", KeyS: "back", KeyA: "left", KeyD: "right", KeyQ: "down", KeyE: "up",
                        ArrowLeft: "turnLeft", ArrowRight: "turnRight", ArrowUp: "turnUp", ArrowDown: "turnDown",
                        ShiftLeft: "fast", ShiftRight: "fast" };
  const FLIGHT_PRESSES = { KeyX: "toggleSingleAxis", Backspace: "giveBack" };

  function updateSpace() {
    body.dataset.space = spaceKey || touchHold ? "held" : "up";
  }

  function flying() { return body.dataset.fly === "on"; }

  // Keys typed into a list or a button belong to it.
  function forAControl(event) {
    return event.target instanceof HTMLSelectElement || event.target instanceof HTMLInputElement ||
           (event.target instanceof HTMLButtonElement && (event.code === "Space" || event.code === "Enter"));
  }

  addEventListener("keydown", (event) => {
    if ((forAControl(event) && event.code !== "Escape") || event.ctrlKey || event.metaKey || event.altKey) return;
    if (event.code === "Space") {
      spaceKey = true;
      updateSpace();
      event.preventDefault();
    } else if (event.code === "Escape") {
      // Escape in fullscreen only leaves it, as the browser's own Escape does.
      if (document.fullscreenElement) document.exitFullscreen();
      else stopRunning("stopped (Escape)");
    } else if (event.code === "KeyF" && !event.repeat) {
      toggleFullscreen();
    } else if (event.code === "KeyP" && !event.repeat) {
      savePng();
    } else if (flying() && (event.code in FLIGHT_KEYS || event.code in FLIGHT_PRESSES)) {
      if (event.code in FLIGHT_PRESSES && !event.repeat) pressed |= 1 << controlBits[FLIGHT_PRESSES[event.code]];
      heldKeys.add(event.code);
      event.preventDefault();
    }
  });
  addEventListener("keyup", (event) => {
    if (event.code === "Space") {
      spaceKey = false;
      updateSpace();
    }
    heldKeys.delete(event.code);
  });
  // A key released while the page had no focus is never seen: losing the focus releases it all.
  addEventListener("blur", () => {
    spaceKey = touchHold = false;
    heldKeys.clear();
    touches.clear();
    mouseDrag = null;
    updateSpace();
  });

  view.addEventListener("pointerdown", (event) => {
    view.setPointerCapture(event.pointerId);
    if (event.pointerType === "touch") {
      touches.set(event.pointerId, { x: event.clientX, y: event.clientY });
      // Without free flight a touch held on the picture is Space held.
      if (!flying()) {
        touchHold = true;
        updateSpace();
      }
      event.preventDefault();
    } else if (event.button === 0) {
      mouseDrag = { x: event.clientX, y: event.clientY };
    }
  });
  view.addEventListener("pointermove", (event) => {
    const dpr = window.devicePixelRatio || 1;
    const last = event.pointerType === "touch" ? touches.get(event.pointerId) : mouseDrag;
    if (!last) return;
    // One finger (or the mouse) turns the view, by the screen pixels it moved.
    if (flying() && (event.pointerType !== "touch" || touches.size === 1)) {
      dragX += Math.round((event.clientX - last.x) * dpr);
      dragY += Math.round((event.clientY - last.y) * dpr);
    }
    last.x = event.clientX;
    last.y = event.clientY;
  });
  function pointerEnd(event) {
    if (event.pointerType === "touch") {
      touches.delete(event.pointerId);
      if (touches.size === 0) {
        touchHold = false;
        updateSpace();
      }
    } else {
      mouseDrag = null;
    }
  }
  view.addEventListener("pointerup", pointerEnd);
  view.addEventListener("pointercancel", pointerEnd);
  view.addEventListener("contextmenu", (event) => event.preventDefault());
  view.addEventListener("wheel", (event) => {
    if (!flying()) return;
    wheel += event.deltaY < 0 ? 1 : event.deltaY > 0 ? -1 : 0;
    event.preventDefault();
  }, { passive: false });

  // The controls held now, and those pressed since the last call, as the module's bits.
  function takeControls() {
    let bits = pressed;
    pressed = 0;
    for (const code of heldKeys) {
      if (code in FLIGHT_KEYS) bits |= 1 << controlBits[FLIGHT_KEYS[code]];
    }
    if (touches.size >= 2) bits |= 1 << controlBits.forward;  // two fingers held: forward
    return bits;
  }

  // ---- The animation ----------------------------------------------------------------------

  let module = null, session = 0, threaded = false, threads = 1;
  let frame = 0, lastFrame = LARGEST_FRAME, running = false, due = 0;
  let flight = null;  // { text, name } of the flight the camera follows, or null

  function setState(state, line) {
    body.dataset.state = state;
    stateLine.textContent = line;
    playButton.textContent = state === "running" ? "Stop" : "Play";
  }

  function stopRunning(why) {
    if (!running) return;
    running = false;
    setState("stopped", why);  // the last frame-rate line stays beside it
  }

  function startRunning() {
    if (running || !session) return;
    if (frame >= lastFrame) newSession();  // played to its end: from the start again
    running = true;
    due = 0;
    setState("running", "");
    requestAnimationFrame(animate);
  }

  function newSession() {
    if (session) module._spongeStop(session);
    session = module.ccall("spongeStart", "number",
                           ["number", "number", "string", "number", "number", "number", "number"],
                           [settings.width, settings.height, settings.filter, settings.plain ? 1 : 0,
                            settings.rawFirst, settings.rawLast, threads]);
    if (!session) {
      showError(`not enough memory for a ${settings.width}x${settings.height} frame`);
      return false;
    }
    frame = 0;
    frameNumber.textContent = "0";
    lastFrame = settings.frames;
    if (flight) {
      const refused = module.ccall("spongeLoadFlight", "string", ["number", "string", "string"],
                                   [session, flight.text, flight.name]);
      if (refused) return refused;
      lastFrame = Math.min(lastFrame, module._spongeFlightEnd(session));
    }
    module._spongeFly(session, flying() ? 1 : 0);
    frameCanvas.width = settings.width;
    frameCanvas.height = settings.height;
    fitView();
    return true;
  }

  // The frame at its render size (for Save PNG) and on screen.
  function draw() {
    const at = module._spongeRgba(session);
    const pixels = heapBytes(at, settings.width * settings.height * 4);
    frameCanvas.getContext("2d").putImageData(new ImageData(pixels, settings.width, settings.height), 0, 0);
    present();
  }

  function animate(now) {
    if (!running) return;
    // How many frames this animation frame: at the intended pace one each 1/60 s on an absolute
    // schedule (a display faster than 60 Hz waits, a stall starts the schedule afresh); as
    // fast as it renders, as many as fit a short budget; per=K asks for K.
    let wanted = settings.per;
    let budget = BUDGET_MS;
    if (settings.pace === "max") {
      wanted = LARGEST_FRAME;
      budget = FAST_BUDGET_MS;
    } else if (settings.per === 1) {
      if (due === 0 || now - due > PERIOD_MS) due = now;
      wanted = now >= due - 1 ? 1 : 0;
      if (wanted) due += PERIOD_MS;
    }
    const started = performance.now();
    const spaceHeld = spaceKey || touchHold ? 1 : 0;
    let done = 0;
    while (done < wanted && frame < lastFrame && (done === 0 || performance.now() - started < budget)) {
      const controls = takeControls();
      frame = module._spongeFrames(session, 1, spaceHeld, lastFrame, controls, dragX, dragY, wheel);
      dragX = dragY = wheel = 0;
      ++done;
    }
    if (done > 0) {
      draw();
      frameNumber.textContent = String(frame);
    }
    if (frame >= lastFrame) {
      stopRunning(`stopped after frame ${frame}`);
      return;
    }
    requestAnimationFrame(animate);
  }

  // ---- Controls ---------------------------------------------------------------------------

  const leaveButton = document.getElementById("leave-fullscreen");
  let leaveTimer = 0;
  let leftByKeyboard = false;

  function toggleFullscreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else stage.requestFullscreen().catch((error) => { notice.textContent = `fullscreen: ${error.message}`; });
  }

  function showLeaveButton() {
    if (!document.fullscreenElement) return;
    leaveButton.classList.add("shown");
    clearTimeout(leaveTimer);
    leaveTimer = setTimeout(() => leaveButton.classList.remove("shown"), 2500);
  }

  // Fullscreen shows the stage alone, which takes the keyboard's focus from the controls: it
  // goes to the way out, and back to the Fullscreen button after.
  function onFullscreenChange() {
    const full = document.fullscreenElement !== null;
    leaveButton.hidden = !full;
    if (full && !stage.contains(document.activeElement)) leaveButton.focus();
    if (!full && leftByKeyboard) document.getElementById("fullscreen").focus();
    leftByKeyboard = false;
    fitView();
    showLeaveButton();
  }

  function savePng() {
    if (!session || frame === 0) return;
    const name = `sponge-${eightDigits(frame)}.png`;
    frameCanvas.toBlob((blob) => download(blob, name), "image/png");
  }

  function saveFlight() {
    if (!session || frame === 0) return;
    const text = module.UTF8ToString(module._spongeFlightText(session));
    if (!text) {
      notice.textContent = "the flight is longer than the page keeps";
      return;
    }
    download(new Blob([text], { type: "text/plain" }), `sponge-${eightDigits(frame)}.flight`);
  }

  function setFly(on) {
    body.dataset.fly = on ? "on" : "off";
    flyButton.setAttribute("aria-pressed", on ? "true" : "false");
    if (session) module._spongeFly(session, on ? 1 : 0);
    followInUrl({ fly: on ? "1" : null });
  }

  // The camera follows the flight from frame 1; a flight refused leaves the page as it was,
  // but for a start from frame 1, and says why.
  function playFlight(text, name) {
    const previous = flight;
    flight = { text, name };
    running = false;
    const started = newSession();
    if (started === true) {
      notice.textContent = "";
      startRunning();
      return;
    }
    if (started === false) return;  // no memory: said already
    flight = previous;
    notice.textContent = started;
    if (newSession() === true) startRunning();
  }

  function wireControls() {
    // A button clicked with the mouse hands the keyboard back to the picture, so that Space
    // shows raw frames again rather than pressing the button; from the keyboard it keeps it.
    for (const button of document.querySelectorAll("#controls button")) {
      button.addEventListener("click", (event) => { if (event.detail > 0) view.focus({ preventScroll: true }); });
    }
    playButton.addEventListener("click", () => (running ? stopRunning("stopped") : startRunning()));
    document.getElementById("fullscreen").addEventListener("click", toggleFullscreen);
    document.getElementById("save-png").addEventListener("click", savePng);
    document.getElementById("save-flight").addEventListener("click", saveFlight);
    document.getElementById("open-flight").addEventListener("click", () => flightFile.click());
    flyButton.addEventListener("click", () => setFly(!flying()));
    flightFile.addEventListener("change", async () => {
      const file = flightFile.files[0];
      flightFile.value = "";
      if (!file) return;
      followInUrl({ flight: null });
      playFlight(await file.text(), file.name);
    });
    filterChoice.addEventListener("change", () => {
      settings.filter = filterChoice.value;
      module.ccall("spongeSetFilter", "number", ["number", "string"], [session, settings.filter]);
      followInUrl({ filter: settings.filter });
    });
    paceChoice.addEventListener("change", () => {
      settings.pace = paceChoice.value;
      due = 0;
      followInUrl({ pace: settings.pace === "60" ? null : settings.pace });
    });
    sizeChoice.addEventListener("change", () => {
      Object.assign(settings, sizeOf(sizeChoice.value));
      followInUrl({ size: sizeChoice.value });
      const wasRunning = running;
      running = false;
      if (newSession() === true && wasRunning) startRunning();
    });
    // Leaving fullscreen (the browser's Escape or the button) changes nothing but the size.
    document.addEventListener("fullscreenchange", onFullscreenChange);
    leaveButton.addEventListener("click", (event) => {
      leftByKeyboard = event.detail === 0;
      document.exitFullscreen();
    });
    stage.addEventListener("pointermove", showLeaveButton);
    stage.addEventListener("pointerdown", showLeaveButton);
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
    try {
      settings = settingsOf(new URLSearchParams(location.search));
    } catch (error) {
      showError(error.message);
      return;
    }
    // Without isolation there is no SharedArrayBuffer, and a threaded module would never start.
    threaded = self.crossOriginIsolated === true && typeof SharedArrayBuffer !== "undefined";
    const variant = threaded ? "threads" : "simd";
    threads = threaded ? Math.max(3, Math.min(9, (navigator.hardwareConcurrency || 2) + 1)) : 1;
    body.dataset.module = variant;
    try {
      await loadScript(`sponge-${variant}.js`);
      module = await self[`create_${variant}`]({ onReportLine: (text) => { if (running) fpsLine.textContent = text; } });
    } catch (error) {
      showError(`cannot start the WebAssembly module: ${error.message}`);
      return;
    }
    // The trail filters and the free-flight controls as the module lists them.
    filters = module.UTF8ToString(module._spongeTrailFilters()).split(" ");
    if (!filters.includes(settings.filter)) {
      const choices = `${filters.slice(0, -1).join(", ")} or ${filters[filters.length - 1]}`;
      showError(`filter: expected ${choices}, got '${settings.filter}'`);
      return;
    }
    module.UTF8ToString(module._spongeFlightControls()).split(" ").forEach((name, bit) => { controlBits[name] = bit; });
    if (settings.flight) {
      try {
        const response = await fetch(settings.flight);
        if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
        flight = { text: await response.text(), name: settings.flight };
      } catch (error) {
        showError(`flight: cannot load '${settings.flight}': ${error.message}`);
        return;
      }
    }

    filterChoice.replaceChildren(...filters.map((name) => new Option(name, name)));
    filterChoice.value = settings.filter;
    const size = `${settings.width}x${settings.height}`;
    sizeChoice.replaceChildren(...(SIZES.includes(size) ? SIZES : [size, ...SIZES]).map((s) => new Option(s, s)));
    sizeChoice.value = size;
    paceChoice.value = settings.pace;
    body.dataset.fly = settings.fly ? "on" : "off";
    flyButton.setAttribute("aria-pressed", settings.fly ? "true" : "false");

    const started = newSession();
    if (started !== true) {
      if (typeof started === "string") showError(`flight: ${started}`);
      return;
    }
    moduleLine.textContent = `${module.UTF8ToString(module._spongePathName(session))}, ` +
                             `${threads} thread${threads > 1 ? "s" : ""}`;
    wireControls();
    fpsLine.textContent = "";
    if (settings.play) startRunning();
    else setState("stopped", "stopped");
  }

  start();
})();
