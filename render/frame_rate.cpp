#include "render/frame_rate.h"

#include <cstdio>

uint32_t framesSinceReport = 0;
uint32_t reportStartMs = 0;
bool reportStarted = false;
char reportText[256] = {};

namespace {
uint32_t readClock(const PlatformAnswers& platform) {
    return platform.clockMs ? platform.clockMs(platform.context) : 0;
}
}  // namespace

void reportFrameRate(const PlatformAnswers& platform) {
    if (!reportStarted) {
        reportStarted = true;
        reportStartMs = readClock(platform);
    }
    const uint32_t now = readClock(platform);
    ++framesSinceReport;
    const uint32_t elapsed = now - reportStartMs;  // modulo 2^32 across the wrap
    if (elapsed < 1000) return;

    const double fps = static_cast<double>(framesSinceReport) /
                       (static_cast<double>(elapsed) * static_cast<double>(0.001f));
    reportStartMs = now;
    framesSinceReport = 0;
    std::snprintf(reportText, sizeof reportText, "%.02f fps", fps);
    if (platform.reportLine) platform.reportLine(platform.context, reportText);
}

void resetFrameRateReport() {
    framesSinceReport = 0;
    reportStartMs = 0;
    reportStarted = false;
    reportText[0] = '\0';
}
