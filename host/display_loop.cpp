#include "host/display_loop.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstring>
#include <string>

#include "host/window_geometry.h"
#include "render/pixel_storage.h"

namespace {

std::string failure;

int32_t fail(const char* what) {
    failure = std::string(what) + ": " + SDL_GetError();
    return DISPLAY_LOOP_FAILED;
}

// Drivers that succeed without showing anything. SDL falls back to them when no real
// display answers, and the program would then run unseen for ever.
bool isInvisibleDriver(const char* name) {
    return std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
           std::strcmp(name, "evdev") == 0;
}

// libwayland finds its compositor through XDG_RUNTIME_DIR unless WAYLAND_DISPLAY is an
// absolute path or a socket was handed over; without either it cannot connect and says so
// on standard error itself, which would put a second line beside ours.
bool waylandCannotConnect() {
    const char* display = SDL_getenv("WAYLAND_DISPLAY");
    return SDL_getenv("XDG_RUNTIME_DIR") == nullptr && SDL_getenv("WAYLAND_SOCKET") == nullptr &&
           (display == nullptr || display[0] != '/');
}

std::string displayName() {
    const char* display = SDL_getenv("DISPLAY");
    return display ? std::string("DISPLAY=") + display : std::string("DISPLAY is not set");
}

// Opens SDL's video with the first driver that shows something, trying them in SDL's
// own order. A driver the user named in SDL_VIDEODRIVER is taken as asked, invisible or not.
bool openVideo() {
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (asked != nullptr && asked[0] != '\0') {  // SDL itself takes an empty name as none
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
        failure = std::string("cannot open a display: ") + SDL_GetError();
        return false;
    }
    std::string reasons;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (isInvisibleDriver(name)) continue;
        reasons += reasons.empty() ? "" : "; ";
        if (std::strcmp(name, "wayland") == 0 && waylandCannotConnect()) {
            reasons += "wayland not tried without XDG_RUNTIME_DIR";
            continue;
        }
        // Overriding, or an empty SDL_VIDEODRIVER would win and let SDL choose on its own.
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, name, SDL_HINT_OVERRIDE);
        const bool opened = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        if (opened) return true;
        reasons += SDL_GetError();
    }
    failure = "cannot open a display (" + displayName() + "): " +
              (reasons.empty() ? std::string("SDL has no driver for a visible window") : reasons);
    return false;
}

// Releases, in reverse order, whatever the start got as far as creating.
struct HostResources {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    PixelStorage pixels;

    ~HostResources() {
        pixels.reset();
        if (texture) SDL_DestroyTexture(texture);
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) SDL_DestroyWindow(window);
        SDL_Quit();  // also lifts the screen-saver block
    }
};

// Ends the loop on SDL's quit request (also sent when the last window is asked to close),
// on a close request for the window itself and on an Escape press.
bool drainEvents() {
    bool keepRunning = true;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) return false;  // what follows the quit stays queued
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) keepRunning = false;
        if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) keepRunning = false;
    }
    return keepRunning;
}

bool keyDown(SDL_Scancode key) { return SDL_GetKeyboardState(nullptr)[key] != 0; }

}  // namespace

int32_t runDisplayLoop(const char* title, int srcWidth, int srcHeight, float scale,
                       FrameCallback frameCallback) {
    failure.clear();
    SDL_SetMainReady();
    HostResources host;
    if (!openVideo()) return DISPLAY_LOOP_FAILED;

    SDL_DisplayMode screen;
    if (SDL_GetDesktopDisplayMode(0, &screen) != 0) return fail("cannot read the screen size");
    const WindowGeometry g = windowGeometry(screen.w, screen.h, scale);

    // Frames are rendered back to back; waiting for the vertical blank would cap the rate
    // the frame-rate line measures. Smoothing would blend neighbouring render pixels.
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");

    host.window = SDL_CreateWindow(title, g.x, g.y, g.width, g.height, SDL_WINDOW_SHOWN);
    if (!host.window) return fail("cannot create the window");
    host.renderer = SDL_CreateRenderer(host.window, -1, 0);
    if (!host.renderer) return fail("cannot create a renderer for the window");
    host.texture = SDL_CreateTexture(host.renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING,
                                     srcWidth, srcHeight);
    if (!host.texture) return fail("cannot create the frame texture");
    SDL_SetTextureScaleMode(host.texture, SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(host.texture, SDL_BLENDMODE_NONE);
    host.pixels = allocatePixels(srcWidth, srcHeight);
    if (!host.pixels) {
        SDL_SetError("out of memory for a %dx%d buffer", srcWidth, srcHeight);
        return fail("cannot create the frame buffer");
    }

    // A fly-through is watched, not typed at: the screen must not blank under it.
    SDL_DisableScreenSaver();

    const int pitch = srcWidth * static_cast<int>(sizeof(uint32_t));
    bool running = true;
    while (running) {
        running = drainEvents();
        if (keyDown(SDL_SCANCODE_ESCAPE)) running = false;
        frameCallback(host.pixels.get(), srcWidth, srcHeight);
        // The whole buffer onto the whole client area (null rectangles).
        SDL_UpdateTexture(host.texture, nullptr, host.pixels.get(), pitch);
        SDL_RenderCopy(host.renderer, host.texture, nullptr, nullptr);
        SDL_RenderPresent(host.renderer);
    }
    return 0;
}

const char* displayLoopFailure() { return failure.c_str(); }

bool hostSpaceHeld() { return keyDown(SDL_SCANCODE_SPACE); }

uint32_t hostClockMs() { return static_cast<uint32_t>(SDL_GetTicks64()); }
