#include "render/render_path.h"

namespace {
RenderPath currentPath = RenderPath::Fast;
}

void setRenderPath(RenderPath path) { currentPath = path; }

RenderPath renderPath() { return currentPath; }

// Until a faster path exists both run the plain code.
const char* renderPathName() { return "plain"; }
