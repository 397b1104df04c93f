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
};

// "1:02:03" or "2:03".
std::string formatDuration(double seconds);
