#include "render/render_path.h"

#include "render/fast_path.h"

const char* renderPathName(RenderPath path) { return path == RenderPath::Plain ? "plain" : fastTargetName(); }
