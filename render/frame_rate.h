// The once-a-second frame-rate line.
#pragma once

#include <cstdint>

extern uint32_t framesSinceReport;
extern uint32_t reportStartMs;
extern bool reportStarted;
extern char reportText[256];

// Counts one frame; once at least 1000 ms have passed since the interval began,
// formats "%.02f fps" into reportText, hands it to sink (if any) and starts a new interval.
// clock may be null (it then stands at 0).
void reportFrameRate(uint32_t (*clock)(), void (*sink)(const char* text));

void resetFrameRateReport();
