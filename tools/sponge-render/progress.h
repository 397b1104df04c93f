// The self-updating progress line on standard error, shown only when that is a terminal.
#pragma once

#include <chrono>
#include <string>

class Progress {
public:
    Progress(int total, bool enabled);

    // After each rendered frame; redraws the line at most a few times a second, and
    // always for the last frame.
    void update(int done);
    // Replaces the line with a summary. outcome says what became of the frames.
    void finish(int done, const std::string& outcome);

    double elapsedSeconds() const;
    bool enabled() const { return enabled_; }

private:
    using Clock = std::chrono::steady_clock;
    int total_;
    bool enabled_;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
    bool drawn_ = false;
    // A terminal that knows ESC [ K clears the rest of the line; on a dumb one, spaces
    // overwrite what the longest line drawn left.
    bool clearWithEscape_;
    size_t longest_ = 0;

    std::string overwriting(const std::string& text);
};

// "frame 12/40  30%  24.0 fps  0:01 left" after done of total frames in seconds.
std::string progressText(int done, int total, double seconds);

// "40 of 40 frames in 0:02 (20.0 fps), " followed by outcome (nothing when it is empty).
std::string summaryText(int done, int total, double seconds, const std::string& outcome);

// "1:02:03" or "2:03".
std::string formatDuration(double seconds);
