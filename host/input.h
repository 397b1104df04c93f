// What the user did since the last frame, as plain data: the host fills one of these at
// every drain of the window's events and hands it to whoever renders. Keys are named by
// their place on the keyboard (the scancode), not by the letter the layout prints on them,
// so that W A S D fly the same on a QWERTY, an AZERTY or a Dvorak keyboard.
#pragma once

#include <cstdint>

enum HostKey : uint8_t {
    KEY_ESCAPE,
    KEY_SPACE,
    KEY_W,
    KEY_A,
    KEY_S,
    KEY_D,
    KEY_Q,
    KEY_E,
    KEY_X,
    KEY_UP,
    KEY_DOWN,
    KEY_LEFT,
    KEY_RIGHT,
    KEY_SHIFT,  // either one
    KEY_BACKSPACE,
    KEY_F11,
    KEY_F12,
    KEY_COUNT
};

enum HostButton : uint8_t { BUTTON_LEFT, BUTTON_MIDDLE, BUTTON_RIGHT };

struct HostInput {
    uint32_t held = 0;     // bit 1 << key for every key down after the drain
    uint32_t pressed = 0;  // bit 1 << key for every key that went down during it (not repeats)
    int mouseDx = 0;       // mouse motion during the drain, in screen pixels, right ...
    int mouseDy = 0;       // ... and down
    uint32_t buttons = 0;  // bit 1 << button for every mouse button down after the drain
    int wheel = 0;         // wheel notches during the drain, positive away from the user
    bool focused = false;  // the window has the keyboard focus
    // The user asked to end: a quit request, the window's close button, or Escape pressed.
    bool quit = false;
};

inline bool keyHeld(const HostInput& input, HostKey key) { return (input.held >> key & 1u) != 0; }
inline bool keyPressed(const HostInput& input, HostKey key) { return (input.pressed >> key & 1u) != 0; }
inline bool buttonHeld(const HostInput& input, HostButton button) { return (input.buttons >> button & 1u) != 0; }
