#include "host/pacer.h"

#include <thread>

Pacer::Pacer(int pace)
    : period_(pace > 0 ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / pace))
                       : Clock::duration::zero()) {}

void Pacer::waitForNextFrame() {
    if (period_ == Clock::duration::zero()) return;
    const Clock::time_point now = Clock::now();
    if (!started_ || now > due_ + period_) {
        started_ = true;
        due_ = now + period_;
        return;
    }
    std::this_thread::sleep_until(due_);
    due_ += period_;
}
