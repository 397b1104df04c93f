// When each frame is shown: on an absolute schedule of 1/pace seconds from the first, so that
// the frames keep the pace on average whatever each one takes; after a stall of more than a
// frame the schedule starts afresh rather than rushing to catch up.
#pragma once

#include <chrono>

class Pacer {
public:
    // pace: frames a second; 0 shows each frame as soon as it is done.
    explicit Pacer(int pace);

    // Waits until the next frame is due.
    void waitForNextFrame();

private:
    using Clock = std::chrono::steady_clock;
    Clock::duration period_;
    Clock::time_point due_;
    bool started_ = false;
};
