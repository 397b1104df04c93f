// The window programs' fixed parameters, and the share of the screen every window of the
// project takes.
#pragma once

constexpr const char* WINDOW_TITLE = "Create DIB";
constexpr int RENDER_WIDTH = 240;
constexpr int RENDER_HEIGHT = 180;
// The client area's share of the screen in each direction.
constexpr float WINDOW_SCALE = 0.8f;
