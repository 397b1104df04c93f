#include "tools/sponge-render/progress.h"

#include <cmath>
#include <cstdio>

Progress::Progress(int total, bool enabled) : total_(total), enabled_(enabled), start_(Clock::now()) {}

double Progress::elapsedSeconds() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

std::string formatDuration(double seconds) {
    long s = std::lround(seconds < 0 ? 0.0 : seconds);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

std::string progressText(int done, int total, double seconds) {
    const double fps = seconds > 0 ? done / seconds : 0.0;
    const std::string left = fps > 0 ? formatDuration((total - done) / fps) : "?";
    char text[160];
    std::snprintf(text, sizeof text, "frame %d/%d  %3d%%  %.1f fps  %s left", done, total,
                  static_cast<int>(100.0 * done / total), fps, left.c_str());
    return text;
}

std::string summaryText(int done, int total, double seconds, const std::string& outcome) {
    char text[160];
    std::snprintf(text, sizeof text, "%d of %d frames in %s (%.1f fps)", done, total,
                  formatDuration(seconds).c_str(), seconds > 0 ? done / seconds : 0.0);
    return outcome.empty() ? text : text + (", " + outcome);
}

void Progress::update(int done) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (drawn_ && done < total_ && now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    drawn_ = true;
    // \r returns to the start of the line and \033[K clears what a longer line left.
    const std::string text = progressText(done, total_, std::chrono::duration<double>(now - start_).count());
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
}

void Progress::finish(int done, const std::string& outcome) {
    if (!enabled_) return;
    std::fprintf(stderr, "\r%s\033[K\n", summaryText(done, total_, elapsedSeconds(), outcome).c_str());
    std::fflush(stderr);
}
