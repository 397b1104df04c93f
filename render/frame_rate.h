// The once-a-second frame-rate line.
#pragma once

#include <cstdint>

#include "render/frame_host.h"

extern uint32_t framesSinceReport;
extern uint32_t reportStartMs;
extern bool reportStarted;
extern char reportText[256];

// Counts one frame; once at least 1000 ms of platform.clockMs have passed since the interval
// began, formats "%.02f fps" into reportText, hands it to platform.reportLine and starts a
// new interval.
void reportFrameRate(const PlatformAnswers& platform);

void resetFrameRateReport();
