#include "tests/frame_support.h"

#include <omp.h>

#include <cstring>

#include "render/frame_step.h"
#include "render/pixel_storage.h"

std::vector<uint32_t> renderRun(const FrameRun& run, const std::vector<uint32_t>& start) {
    const size_t size = static_cast<size_t>(run.width) * static_cast<size_t>(run.height);
    // Aligned and padded as a host's buffer is.
    const PixelStorage buffer = allocatePixels(run.width, run.height);
    if (!start.empty()) std::memcpy(buffer.get(), start.data(), size * sizeof(uint32_t));
    RawFrames raw = run.raw;
    FrameWorkspace workspace;
    const PlatformAnswers platform = rawFramesAnswers(&raw);
    const RenderSetup setup = renderSetup(run.filter, run.path, &workspace, run.poses);
    resetFrameState();
    animationTime = run.startClock;
    std::vector<uint32_t> frames;
    frames.reserve(size * static_cast<size_t>(run.frames));
    for (raw.current = 1; raw.current <= run.frames; ++raw.current) {
        renderFrameWith(platform, setup, buffer.get(), run.width, run.height);
        frames.insert(frames.end(), buffer.get(), buffer.get() + size);
    }
    resetFrameState();
    return frames;
}

std::vector<uint32_t> renderLast(const FrameRun& run, const std::vector<uint32_t>& start) {
    std::vector<uint32_t> frames = renderRun(run, start);
    const size_t size = static_cast<size_t>(run.width) * static_cast<size_t>(run.height);
    return std::vector<uint32_t>(frames.end() - static_cast<std::ptrdiff_t>(size), frames.end());
}

ThreadCount::ThreadCount(int threads) : saved_(omp_get_max_threads()) { omp_set_num_threads(threads); }

ThreadCount::~ThreadCount() { omp_set_num_threads(saved_); }
