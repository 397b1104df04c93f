#include "host/display_window.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "host/nearest_scale.h"

struct DisplayWindow {
    SDL_Window* window = nullptr;
    FrameFit fit = FrameFit::Stretch;
    // The surface path: the scale into the window's own surface.
    bool surface = false;
    NearestScale scale;
    // The texture path.
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int srcWidth = 0;
    int srcHeight = 0;
};

namespace {

std::string failure(const char* what) { return std::string(what) + ": " + SDL_GetError(); }

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

// SDL's video with the first driver that shows something, in SDL's own order. A driver the
// user named in SDL_VIDEODRIVER is taken as asked, invisible or not.
bool initVideo(std::string* error) {
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (asked != nullptr && asked[0] != '\0') {  // SDL itself takes an empty name as none
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
        *error = failure("cannot open a display");
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
    *error = "cannot open a display (" + displayName() + "): " +
             (reasons.empty() ? std::string("SDL has no driver for a visible window") : reasons);
    return false;
}

bool textureAsked() {
    const char* asked = std::getenv("SPONGE_PRESENT");
    return asked != nullptr && std::strcmp(asked, "texture") == 0;
}

// Whether to ask for the window's own surface: only X11 gives a plain shared-memory image
// here; elsewhere SDL would stand a texture behind it.
bool surfaceWanted() { return !textureAsked() && std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0; }

NearestScale scaleInto(const DisplayWindow* w, int areaWidth, int areaHeight) {
    return w->fit == FrameFit::Stretch ? nearestScale(w->srcWidth, w->srcHeight, areaWidth, areaHeight)
                                       : nearestScaleKeepingAspect(w->srcWidth, w->srcHeight, areaWidth, areaHeight);
}

// The window's own surface, when it is one we can write 0x00RRGGBB words into.
bool takeSurface(DisplayWindow* w, int clientWidth, int clientHeight) {
    SDL_Surface* surface = SDL_GetWindowSurface(w->window);
    if (surface == nullptr || surface->format->format != SDL_PIXELFORMAT_XRGB8888) return false;
    w->surface = true;
    w->scale = scaleInto(w, clientWidth, clientHeight);
    return true;
}

bool makeTexture(DisplayWindow* w, std::string* error) {
    // Frames are presented back to back; waiting for the vertical blank would cap the rate
    // the frame-rate line measures. Smoothing would blend neighbouring render pixels.
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    w->renderer = SDL_CreateRenderer(w->window, -1, 0);
    if (!w->renderer) {
        *error = failure("cannot create a renderer for the window");
        return false;
    }
    w->texture = SDL_CreateTexture(w->renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING,
                                   w->srcWidth, w->srcHeight);
    if (!w->texture) {
        *error = failure("cannot create the frame texture");
        return false;
    }
    SDL_SetTextureScaleMode(w->texture, SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(w->texture, SDL_BLENDMODE_NONE);
    return true;
}

}  // namespace

void DisplayWindowCloser::operator()(DisplayWindow* w) const {
    if (w->texture) SDL_DestroyTexture(w->texture);
    if (w->renderer) SDL_DestroyRenderer(w->renderer);
    if (w->window) SDL_DestroyWindow(w->window);
    SDL_Quit();  // also lifts the screen-saver block
    delete w;
}

bool openVideo(int* screenWidth, int* screenHeight, std::string* error) {
    SDL_SetMainReady();
    if (!initVideo(error)) return false;
    SDL_DisplayMode screen;
    if (SDL_GetDesktopDisplayMode(0, &screen) != 0) {
        *error = failure("cannot read the screen size");
        SDL_Quit();
        return false;
    }
    *screenWidth = screen.w;
    *screenHeight = screen.h;
    return true;
}

DisplayWindowPtr openDisplayWindow(const char* title, const WindowGeometry& geometry, int srcWidth, int srcHeight,
                                   FrameFit fit, std::string* error) {
    DisplayWindowPtr w(new DisplayWindow);
    w->fit = fit;
    w->srcWidth = srcWidth;
    w->srcHeight = srcHeight;
    // The surface path wants a plain software image, not one SDL backs with a GL texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    w->window = SDL_CreateWindow(title, geometry.x, geometry.y, geometry.width, geometry.height, SDL_WINDOW_SHOWN);
    if (!w->window) {
        *error = failure("cannot create the window");
        return nullptr;
    }
    const bool asked = surfaceWanted();
    if (!asked || !takeSurface(w.get(), geometry.width, geometry.height)) {
        // A window whose surface was asked for keeps it: the texture goes into a new window.
        if (asked) {
            SDL_DestroyWindow(w->window);
            w->window = SDL_CreateWindow(title, geometry.x, geometry.y, geometry.width, geometry.height,
                                         SDL_WINDOW_SHOWN);
            if (!w->window) {
                *error = failure("cannot create the window");
                return nullptr;
            }
        }
        if (!makeTexture(w.get(), error)) return nullptr;
    }
    // A fly-through is watched, not typed at: the screen must not blank under it.
    SDL_DisableScreenSaver();
    return w;
}

namespace {

// The keys the input record knows, by their place on the keyboard.
HostKey hostKey(SDL_Scancode code) {
    switch (code) {
        case SDL_SCANCODE_ESCAPE: return KEY_ESCAPE;
        case SDL_SCANCODE_SPACE: return KEY_SPACE;
        case SDL_SCANCODE_W: return KEY_W;
        case SDL_SCANCODE_A: return KEY_A;
        case SDL_SCANCODE_S: return KEY_S;
        case SDL_SCANCODE_D: return KEY_D;
        case SDL_SCANCODE_Q: return KEY_Q;
        case SDL_SCANCODE_E: return KEY_E;
        case SDL_SCANCODE_X: return KEY_X;
        case SDL_SCANCODE_UP: return KEY_UP;
        case SDL_SCANCODE_DOWN: return KEY_DOWN;
        case SDL_SCANCODE_LEFT: return KEY_LEFT;
        case SDL_SCANCODE_RIGHT: return KEY_RIGHT;
        case SDL_SCANCODE_LSHIFT:
        case SDL_SCANCODE_RSHIFT: return KEY_SHIFT;
        case SDL_SCANCODE_BACKSPACE: return KEY_BACKSPACE;
        case SDL_SCANCODE_F11: return KEY_F11;
        case SDL_SCANCODE_F12: return KEY_F12;
        default: return KEY_COUNT;
    }
}

uint32_t heldKeys() {
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    uint32_t held = 0;
    for (int code = 0; code < count; ++code) {
        const HostKey key = hostKey(static_cast<SDL_Scancode>(code));
        if (state[code] && key != KEY_COUNT) held |= 1u << key;
    }
    return held;
}

}  // namespace

HostInput drainInput(DisplayWindow* w) {
    HostInput input;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            input.quit = true;
            break;  // what follows the quit stays queued
        }
        switch (event.type) {
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) input.quit = true;
                break;
            case SDL_KEYDOWN: {
                if (event.key.keysym.scancode == SDL_SCANCODE_ESCAPE) input.quit = true;
                const HostKey key = hostKey(event.key.keysym.scancode);
                if (key != KEY_COUNT && event.key.repeat == 0) input.pressed |= 1u << key;
                break;
            }
            case SDL_MOUSEMOTION:
                input.mouseDx += event.motion.xrel;
                input.mouseDy += event.motion.yrel;
                break;
            case SDL_MOUSEWHEEL:
                input.wheel += event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
                break;
            default: break;
        }
    }
    input.held = heldKeys();
    const Uint32 buttons = SDL_GetMouseState(nullptr, nullptr);
    if (buttons & SDL_BUTTON_LMASK) input.buttons |= 1u << BUTTON_LEFT;
    if (buttons & SDL_BUTTON_MMASK) input.buttons |= 1u << BUTTON_MIDDLE;
    if (buttons & SDL_BUTTON_RMASK) input.buttons |= 1u << BUTTON_RIGHT;
    input.focused = SDL_GetKeyboardFocus() == w->window;
    return input;
}

void presentFrame(DisplayWindow* w, const uint32_t* pixels) {
    if (w->surface) {
        // Fetched every frame: cheap while it stays valid, and renewed by SDL after the
        // window changed size (fullscreen) or was exposed.
        SDL_Surface* surface = SDL_GetWindowSurface(w->window);
        if (surface == nullptr) return;
        if (surface->w != w->scale.areaWidth || surface->h != w->scale.areaHeight) {
            w->scale = scaleInto(w, surface->w, surface->h);
        }
        if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
        scaleFrame(w->scale, pixels, static_cast<uint32_t*>(surface->pixels), surface->pitch / 4);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        SDL_UpdateWindowSurface(w->window);
        return;
    }
    SDL_UpdateTexture(w->texture, nullptr, pixels, w->srcWidth * static_cast<int>(sizeof(uint32_t)));
    if (w->fit == FrameFit::Stretch) {
        // The whole buffer onto the whole client area (null rectangles).
        SDL_RenderCopy(w->renderer, w->texture, nullptr, nullptr);
    } else {
        int areaWidth = 0, areaHeight = 0;
        SDL_GetRendererOutputSize(w->renderer, &areaWidth, &areaHeight);
        const FrameSize fit = fitAspect(w->srcWidth, w->srcHeight, areaWidth, areaHeight);
        const SDL_Rect target = {(areaWidth - fit.width) / 2, (areaHeight - fit.height) / 2, fit.width, fit.height};
        SDL_SetRenderDrawColor(w->renderer, 0, 0, 0, 255);
        SDL_RenderClear(w->renderer);
        SDL_RenderCopy(w->renderer, w->texture, nullptr, &target);
    }
    SDL_RenderPresent(w->renderer);
}

void toggleFullscreen(DisplayWindow* w) {
    const bool full = (SDL_GetWindowFlags(w->window) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP;
    SDL_SetWindowFullscreen(w->window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
}

uint32_t hostClockMs(void*) { return static_cast<uint32_t>(SDL_GetTicks64()); }
