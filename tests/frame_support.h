// Frames rendered the way the programs render them, through explicit host records.
#pragma once

#include <cstdint>
#include <vector>

#include "render/frame_host.h"
#include "render/raw_frames.h"
#include "render/render_path.h"
#include "render/types.h"

struct FrameRun {
    int width;
    int height;
    const TrailFilterVariants* filter;  // null: none
    float startClock = 0.0f;            // animationTime before the first frame
    int frames = 1;
    RawFrames raw = {};                 // frames of the run (the first is 1) drawn as if Space were held
    RenderPath path = RenderPath::Fast;
    PoseSource poses = {};              // none: the fixed path
};

// Every frame of the run drawn raw.
inline RawFrames allRaw() { return {1, 1 << 30, 0}; }

// Renders the run from the animation's start state (clock set to run.startClock) into a
// buffer that holds start before the first frame (zeros when start is empty). Returns the
// buffer as it is after each frame, one frame after another.
std::vector<uint32_t> renderRun(const FrameRun& run, const std::vector<uint32_t>& start = {});

// The buffer after the run's last frame.
std::vector<uint32_t> renderLast(const FrameRun& run, const std::vector<uint32_t>& start = {});

// Sets the OpenMP thread count for its lifetime and restores the old one after.
class ThreadCount {
public:
    explicit ThreadCount(int threads);
    ~ThreadCount();
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;

private:
    int saved_;
};
