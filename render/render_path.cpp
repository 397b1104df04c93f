#include "render/render_path.h"

#include "render/fast_path.h"

namespace {
RenderPath currentPath = RenderPath::Fast;
}

void setRenderPath(RenderPath path) { currentPath = path; }

RenderPath renderPath() { return currentPath; }

const char* renderPathName() { return currentPath == RenderPath::Plain ? "plain" : fastTargetName(); }
