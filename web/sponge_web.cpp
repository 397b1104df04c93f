// The browser's host of the renderer: the page (sponge.js) drives an animation through these
// functions, one call per animation frame, and draws the frame on a canvas.
#include <emscripten.h>

#include <cstdint>
#include <string>
#include <vector>

#include "filters/trail_filters.h"
#include "render/frame_host.h"
#include "render/frame_step.h"
#include "render/pixel_storage.h"
#include "render/raw_frames.h"
#include "render/render_path.h"

namespace {

// One animation on one canvas.
struct WebSession {
    int width;
    int height;
    PixelStorage pixels;
    std::vector<uint8_t> rgba;  // the frame as the canvas takes it: R, G, B, 255
    RawFrames raw;
    bool spaceDown = false;
    FrameWorkspace workspace;
    PlatformAnswers platform;
    RenderSetup setup;
};

bool heldOrRaw(void* context) {
    WebSession* s = static_cast<WebSession*>(context);
    return s->spaceDown || rawFrameHeld(&s->raw);
}

uint32_t pageClockMs(void*) { return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now())); }

EM_JS(void, showReportLine, (const char* text), {
    if (Module.onReportLine) Module.onReportLine(UTF8ToString(text));
});

void reportLine(void*, const char* text) { showReportLine(text); }

}  // namespace

extern "C" {

// The trail filters by name, separated by blanks, "none" last: what spongeStart takes.
EMSCRIPTEN_KEEPALIVE const char* spongeTrailFilters() {
    static const std::string names = [] {
        std::string text;
        for (size_t i = 0; i < TRAIL_FILTER_COUNT; ++i) text += std::string(TRAIL_FILTERS[i].name) + " ";
        return text + NO_TRAIL_FILTER;
    }();
    return names.c_str();
}

// A new animation from its first frame: width x height, the trail filter called filter (one
// of spongeTrailFilters); plain non-zero for the plain path; frames rawFirst to rawLast drawn
// raw; threads rendering, the caller's included. Null when the filter is unknown or the
// memory cannot be had.
EMSCRIPTEN_KEEPALIVE WebSession* spongeStart(int width, int height, const char* filter, int plain, int rawFirst,
                                             int rawLast, int threads) {
    const TrailFilterVariants* trailFilter = nullptr;
    if (!findTrailFilter(filter, &trailFilter)) return nullptr;
    WebSession* s = new WebSession;
    s->width = width;
    s->height = height;
    s->pixels = allocatePixels(width, height);
    if (!s->pixels) {
        delete s;
        return nullptr;
    }
    s->rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    s->raw = {rawFirst, rawLast, 0};
    s->workspace.threads = threads;
    s->platform.context = s;
    s->platform.spaceHeld = heldOrRaw;
    s->platform.clockMs = pageClockMs;
    s->platform.reportLine = reportLine;
    s->setup.trailFilter = trailFilter;
    s->setup.path = plain ? RenderPath::Plain : RenderPath::Fast;
    s->setup.workspace = &s->workspace;
    resetFrameState();
    return s;
}

// Renders up to count frames, none past lastFrame; spaceHeld: the key is down. Returns the
// number of the last frame rendered.
EMSCRIPTEN_KEEPALIVE int spongeFrames(WebSession* s, int count, int spaceHeld, int lastFrame) {
    s->spaceDown = spaceHeld != 0;
    for (int i = 0; i < count && s->raw.current < lastFrame; ++i) {
        ++s->raw.current;
        renderFrameWith(s->platform, s->setup, s->pixels.get(), s->width, s->height);
    }
    return s->raw.current;
}

// The current frame as RGBA bytes, for an ImageData.
EMSCRIPTEN_KEEPALIVE const uint8_t* spongeRgba(WebSession* s) {
    const size_t n = static_cast<size_t>(s->width) * static_cast<size_t>(s->height);
    const uint32_t* px = s->pixels.get();
    uint8_t* out = s->rgba.data();
    for (size_t i = 0; i < n; ++i) {
        out[4 * i + 0] = static_cast<uint8_t>(px[i] >> 16);
        out[4 * i + 1] = static_cast<uint8_t>(px[i] >> 8);
        out[4 * i + 2] = static_cast<uint8_t>(px[i]);
        out[4 * i + 3] = 255;
    }
    return out;
}

// What draws the frames: "plain", or the SIMD target, e.g. "WASM".
EMSCRIPTEN_KEEPALIVE const char* spongePathName(WebSession* s) { return renderPathName(s->setup.path); }

EMSCRIPTEN_KEEPALIVE void spongeStop(WebSession* s) { delete s; }

}  // extern "C"
