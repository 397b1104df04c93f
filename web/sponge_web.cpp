// The browser's host of the renderer: the page (sponge.js) drives an animation through these
// functions, a few frames per animation frame, and draws the frame on a canvas. The camera
// follows the fixed path, a flight file, or free flight steered from the page; every frame's
// pose is kept, so that the page can save the flight it showed.
#include <emscripten.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "filters/trail_filters.h"
#include "flight/flight_file.h"
#include "flight/free_flight.h"
#include "flight/keyframes.h"
#include "host/nearest_scale.h"
#include "render/frame_host.h"
#include "render/frame_step.h"
#include "render/pixel_storage.h"
#include "render/raw_frames.h"
#include "render/render_path.h"

namespace {

// Poses kept for "Save flight": about four and a half hours at 60 frames a second.
constexpr size_t MOST_RECORDED = 1 << 20;

// One animation on one canvas.
struct WebSession {
    int width;
    int height;
    PixelStorage pixels;
    std::vector<uint32_t> rgba;  // the frame as a canvas takes it: bytes R, G, B, 255
    NearestScale scale;          // onto the canvas on screen
    std::vector<uint32_t> shown;  // the frame enlarged by it
    RawFrames raw;
    bool spaceDown = false;
    FrameWorkspace workspace;
    PlatformAnswers platform;
    RenderSetup setup;
    // Where the camera goes: a flight when one was loaded, else free flight while flying,
    // else the fixed path.
    Flight flight;
    bool hasFlight = false;
    bool flying = false;
    bool flightStarted = false;  // free flight has its first pose
    FreeFlight free;
    FlightInput input;  // for the frame being rendered
    std::vector<CameraPose> recorded;  // the pose of frame i + 1
    std::string text;                  // what spongeFlightText and spongeLoadFlight hand back
};

bool heldOrRaw(void* context) {
    WebSession* s = static_cast<WebSession*>(context);
    return s->spaceDown || rawFrameHeld(&s->raw);
}

CameraPose sessionPose(void* context, float t) {
    WebSession* s = static_cast<WebSession*>(context);
    CameraPose pose;
    if (s->hasFlight) {
        pose = flightPose(s->flight, s->raw.current);
    } else if (s->flying && !s->flightStarted) {
        // Flying from the first frame on: it starts at the fixed path's pose of that frame.
        s->free = startFreeFlight(framePose(t));
        s->flightStarted = true;
        pose = s->free.pose;
    } else if (s->flying) {
        pose = flyFrame(&s->free, s->input, t, static_cast<float>(s->width) / static_cast<float>(s->height));
    } else {
        pose = framePose(t);
    }
    if (s->recorded.size() < MOST_RECORDED) s->recorded.push_back(pose);
    return pose;
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
    s->rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    s->raw = {rawFirst, rawLast, 0};
    s->workspace.threads = threads;
    s->platform.context = s;
    s->platform.spaceHeld = heldOrRaw;
    s->platform.clockMs = pageClockMs;
    s->platform.reportLine = reportLine;
    s->setup.trailFilter = trailFilter;
    s->setup.path = plain ? RenderPath::Plain : RenderPath::Fast;
    s->setup.workspace = &s->workspace;
    s->setup.poses = {sessionPose, s};
    resetFrameState();
    return s;
}

// The trail filter from the next frame on; false when there is none of that name.
EMSCRIPTEN_KEEPALIVE int spongeSetFilter(WebSession* s, const char* filter) {
    return findTrailFilter(filter, &s->setup.trailFilter) ? 1 : 0;
}

// Reads text, the flight file called name, for the camera to follow from the first frame of
// this session on (call it before the first frame). Returns "" or the reason it was refused,
// one line naming the file and the line.
EMSCRIPTEN_KEEPALIVE const char* spongeLoadFlight(WebSession* s, const char* text, const char* name) {
    s->text.clear();
    if (parseFlight(text, name, &s->flight, &s->text)) s->hasFlight = true;
    return s->text.c_str();
}

// The last frame of the loaded flight, 0 without one.
EMSCRIPTEN_KEEPALIVE int spongeFlightEnd(WebSession* s) { return s->hasFlight ? flightLastFrame(s->flight) : 0; }

// The free-flight controls by name, separated by blanks, in the order of their bits in
// spongeFrames' controls.
EMSCRIPTEN_KEEPALIVE const char* spongeFlightControls() {
    return "forward back left right down up turnLeft turnRight turnUp turnDown fast toggleSingleAxis giveBack";
}

// Free flight on (from the pose of the frame on the canvas) or off (the fixed path again, at
// the current clock).
EMSCRIPTEN_KEEPALIVE void spongeFly(WebSession* s, int on) {
    if (on && !s->flying) {
        s->flightStarted = !s->recorded.empty();
        if (s->flightStarted) s->free = startFreeFlight(s->recorded.back());
    }
    s->flying = on != 0;
}

// Renders up to count frames, none past lastFrame; spaceHeld: the key is down. controls,
// dragX, dragY and wheel are a FlightInput: the held controls go to every frame, the pressed
// ones, the drag and the wheel to the first. Returns the number of the last frame rendered.
EMSCRIPTEN_KEEPALIVE int spongeFrames(WebSession* s, int count, int spaceHeld, int lastFrame, int controls, int dragX,
                                      int dragY, int wheel) {
    s->spaceDown = spaceHeld != 0;
    s->input = {static_cast<uint32_t>(controls), dragX, dragY, wheel};
    for (int i = 0; i < count && s->raw.current < lastFrame; ++i) {
        ++s->raw.current;
        renderFrameWith(s->platform, s->setup, s->pixels.get(), s->width, s->height);
        s->input.controls &= ~((1u << TOGGLE_SINGLE_AXIS) | (1u << GIVE_BACK));
        s->input.dragX = s->input.dragY = s->input.wheel = 0;
    }
    return s->raw.current;
}

// The flight shown so far, frame 1 to the current one, as a flight file; "" when it was longer
// than the page keeps.
EMSCRIPTEN_KEEPALIVE const char* spongeFlightText(WebSession* s) {
    s->text.clear();
    if (s->recorded.size() >= MOST_RECORDED) return s->text.c_str();
    s->text = flightHeader();
    for (size_t i = 0; i < s->recorded.size(); ++i) s->text += flightLine(static_cast<int>(i + 1), s->recorded[i]);
    return s->text.c_str();
}

// The current frame as RGBA bytes, for an ImageData.
EMSCRIPTEN_KEEPALIVE const uint8_t* spongeRgba(WebSession* s) {
    const size_t n = static_cast<size_t>(s->width) * static_cast<size_t>(s->height);
    const uint32_t* px = s->pixels.get();
    uint32_t* out = s->rgba.data();
    // 0x00RRGGBB to the bytes R, G, B, 255 of a little-endian word.
    for (size_t i = 0; i < n; ++i) {
        out[i] = 0xFF000000u | (px[i] & 0x0000FF00u) | (px[i] >> 16 & 0xFFu) | (px[i] & 0xFFu) << 16;
    }
    return reinterpret_cast<const uint8_t*>(out);
}

// The current frame enlarged (or reduced) to width x height as RGBA bytes, each pixel the
// frame pixel under its centre: the window host's own rule, not the browser's. Null when the
// memory cannot be had.
EMSCRIPTEN_KEEPALIVE const uint8_t* spongeShow(WebSession* s, int width, int height) {
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (s->shown.size() != size) {
        std::vector<uint32_t>().swap(s->shown);  // the old one goes first: the heap is not endless
        try {
            s->shown.resize(size);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    if (s->scale.areaWidth != width || s->scale.areaHeight != height) s->scale = nearestScale(s->width, s->height, width, height);
    spongeRgba(s);
    scaleFrame(s->scale, s->rgba.data(), s->shown.data(), width);
    return reinterpret_cast<const uint8_t*>(s->shown.data());
}

// What draws the frames: "plain", or the SIMD target, e.g. "WASM".
EMSCRIPTEN_KEEPALIVE const char* spongePathName(WebSession* s) { return renderPathName(s->setup.path); }

EMSCRIPTEN_KEEPALIVE void spongeStop(WebSession* s) { delete s; }

}  // extern "C"
