// sponge-render --window: the frames shown in a window as they are rendered, at the
// animation's own pace (one clock step per frame, 60 frames a second) or as fast as they come.
#pragma once

#include "tools/sponge-render/options.h"

// Shows frames options.from to options.frames (the earlier ones are rendered unseen) until
// then, or until Escape, the window's close button or a stopping signal; prints the
// frame-rate line once a second unless options.quiet. F11 toggles fullscreen, F12 writes the
// frame on screen to sponge-NNNNNNNN.png in the current folder. Returns the exit status: 0,
// 1 when no window could be opened (said on standard error), or the interruption's status.
int runLiveView(const RenderOptions& options);
