#include "tools/sponge-render/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

Progress::Progress(int total, bool enabled) : total_(total), enabled_(enabled), start_(Clock::now()) {
    const char* term = std::getenv("TERM");
    clearWithEscape_ = term == nullptr || std::strcmp(term, "dumb") != 0;
}

std::string Progress::overwriting(const std::string& text) {
    if (clearWithEscape_) return "\r" + text + "\033[K";
    const size_t pad = longest_ > text.size() ? longest_ - text.size() : 0;
    longest_ = std::max(longest_, text.size());
    return "\r" + text + std::string(pad, ' ');
}

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
    // \r returns to the start of the line; what a longer line left is cleared.
    const std::string text = progressText(done, total_, std::chrono::duration<double>(now - start_).count());
    std::fputs(overwriting(text).c_str(), stderr);
    std::fflush(stderr);
}

void Progress::finish(int done, const std::string& outcome) {
    if (!enabled_) return;
    std::fprintf(stderr, "%s\n", overwriting(summaryText(done, total_, elapsedSeconds(), outcome)).c_str());
    std::fflush(stderr);
}
