// Timings of the plain (reference) and fast paths, side by side in one run:
// traversal rays per second, whole frames at 240x180 and 1920x1080 with each filter, and
// each filter alone. Run: build/bench/sponge-bench [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "filters/trail_filters.h"
#include "render/fast_path.h"
#include "render/frame_host.h"
#include "render/frame_step.h"
#include "render/pixel_storage.h"
#include "render/raw_frames.h"
#include "render/render_path.h"
#include "render/shade_row.h"
#include "render/traverse.h"

namespace {

enum Path { PLAIN = 0, FAST = 1 };
const char* const PATH_NAMES[] = {"plain", "fast"};

// A filter argument is an index into TRAIL_FILTERS; one past the last stands for raw frames
// (every frame as if Space were held: no blend, no filter).
const int64_t RAW = static_cast<int64_t>(TRAIL_FILTER_COUNT);

const char* filterName(int64_t filter) { return filter == RAW ? "raw" : TRAIL_FILTERS[filter].name; }

// Every filter of the table, then raw.
std::vector<int64_t> filterArgs(bool withRaw) {
    std::vector<int64_t> args;
    for (size_t i = 0; i < TRAIL_FILTER_COUNT; ++i) args.push_back(static_cast<int64_t>(i));
    if (withRaw) args.push_back(RAW);
    return args;
}

// The eye rays of one 240x180 frame at clock t, as the frame step casts them.
struct FrameRays {
    float origin[3];
    std::vector<float> dir[3];
    int32_t singleAxis;
};

FrameRays frameRays(float t) {
    FrameRays rays;
    const int width = 240, height = 180;
    const CameraPose pose = framePose(t);
    const FrameView view = frameView(pose, width, height);
    for (int k = 0; k < 3; ++k) rays.origin[k] = pose.position[k];
    rays.singleAxis = pose.singleAxis;
    const float vstep = 2.0f / static_cast<float>(height);
    float v = -1.0f;
    for (int row = 0; row < height; ++row) {
        for (int c = 0; c < width; ++c) {
            float dir[3];
            eyeRayDirection(eyeRayU(c, width, view), v, view, dir);
            for (int k = 0; k < 3; ++k) rays.dir[k].push_back(dir[k]);
        }
        v = v + vstep;
    }
    return rays;
}

// Rays per second of one traversal path, single thread, over the rays of frame 300
// (clock 5.0) or, for the single-axis phase, of clock 23.0.
void traversal(benchmark::State& state) {
    const Path path = static_cast<Path>(state.range(0));
    const FrameRays rays = frameRays(state.range(1) ? 23.0f : 5.0f);
    const size_t n = rays.dir[0].size();
    std::vector<float> origin[3], distance(n), exitParam(n);
    for (int k = 0; k < 3; ++k) origin[k].assign(n, rays.origin[k]);
    const float* o[3] = {origin[0].data(), origin[1].data(), origin[2].data()};
    const float* d[3] = {rays.dir[0].data(), rays.dir[1].data(), rays.dir[2].data()};
    singleAxisStep = rays.singleAxis;
    for (auto _ : state) {
        if (path == PLAIN) {
            for (size_t i = 0; i < n; ++i) {
                const TraversalResult r = traverseSponge(o[0][i], o[1][i], o[2][i], d[0][i], d[1][i], d[2][i]);
                distance[i] = r.distance;
                exitParam[i] = r.exitParam;
            }
        } else {
            traceRaysFast(n, o, d, rays.singleAxis, distance.data(), exitParam.data());
        }
        benchmark::DoNotOptimize(distance.data());
        benchmark::ClobberMemory();
    }
    singleAxisStep = 0;
    state.counters["rays/s"] = benchmark::Counter(static_cast<double>(n) * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
    state.SetLabel(std::string(PATH_NAMES[path]) + (path == FAST ? std::string(" ") + fastTargetName() : "") +
                   (state.range(1) ? ", single-axis" : ""));
}

// renderFrame on the default thread count: frames 1 to `frames` in order, then again
// from 1, as sponge-render runs them. Arguments: path, filter, width, height, frames.
void frames(benchmark::State& state) {
    const Path path = static_cast<Path>(state.range(0));
    const int64_t filter = state.range(1);
    const int width = static_cast<int>(state.range(2));
    const int height = static_cast<int>(state.range(3));
    const int64_t cycle = state.range(4);
    const PixelStorage buffer = allocatePixels(width, height);
    // Raw: every frame as if Space were held (the frame number stays 1 throughout).
    RawFrames raw = filter == RAW ? RawFrames{1, 1, 1} : RawFrames{0, 0, 1};
    FrameWorkspace workspace;
    const PlatformAnswers platform = rawFramesAnswers(&raw);
    const RenderSetup setup = renderSetup(filter == RAW ? nullptr : &TRAIL_FILTERS[filter].variants,
                                          path == PLAIN ? RenderPath::Plain : RenderPath::Fast, &workspace);
    resetFrameState();
    int64_t frame = 0;
    for (auto _ : state) {
        if (frame == cycle) {
            state.PauseTiming();
            resetFrameState();
            std::memset(buffer.get(), 0, static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
            frame = 0;
            state.ResumeTiming();
        }
        renderFrameWith(platform, setup, buffer.get(), width, height);
        ++frame;
    }
    resetFrameState();
    const double rays = static_cast<double>(width) * height * static_cast<double>(state.iterations());
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["rays/s"] = benchmark::Counter(rays, benchmark::Counter::kIsRate);
    int threads = 1;
#ifdef _OPENMP
    threads = omp_get_max_threads();
#endif
    state.SetLabel(std::string(path == PLAIN ? "plain" : fastTargetName()) + ", " + filterName(filter) + ", " +
                   std::to_string(threads) + " threads");
}

// One filter pass on a 240x180 or 1920x1080 buffer of noise.
void filterAlone(benchmark::State& state) {
    const Path path = static_cast<Path>(state.range(0));
    const int64_t filter = state.range(1);
    const int width = static_cast<int>(state.range(2));
    const int height = static_cast<int>(state.range(3));
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    std::mt19937 rng(1);
    for (uint32_t& px : pixels) px = static_cast<uint32_t>(rng());
    const TrailFilterVariants& variants = TRAIL_FILTERS[filter].variants;
    std::vector<uint64_t> scratch;
    for (auto _ : state) {
        if (path == PLAIN) {
            variants.plain(pixels.data(), width, height);
        } else {
            variants.fast(pixels.data(), width, height, scratch);
        }
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] =
        benchmark::Counter(static_cast<double>(pixels.size()) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.SetLabel(std::string(PATH_NAMES[path]) + " " + filterName(filter) +
                   (path == FAST ? std::string(" ") + fastTargetName() : ""));
}

// Frames 1-600 at the host's size with each filter; frames 1-8 at 1920x1080 raw, and with
// each filter. Iterations are fixed so that both paths draw the same frames.
void frameArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"path", "filter", "w", "h", "frames"});
    for (const int path : {PLAIN, FAST}) {
        for (const int64_t filter : filterArgs(true)) b->Args({path, filter, 240, 180, 600});
    }
}

void frameArgsFullHd(benchmark::internal::Benchmark* b) {
    b->ArgNames({"path", "filter", "w", "h", "frames"});
    for (const int path : {PLAIN, FAST}) {
        for (const int64_t filter : filterArgs(true)) b->Args({path, filter, 1920, 1080, 8});
    }
}

}  // namespace

BENCHMARK(traversal)
    ->ArgNames({"path", "singleAxis"})
    ->ArgsProduct({{PLAIN, FAST}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(frames)->Apply(frameArgs)->Iterations(600)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(frames)->Apply(frameArgsFullHd)->Iterations(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(filterAlone)
    ->ArgNames({"path", "filter", "w", "h"})
    ->ArgsProduct({{PLAIN, FAST}, filterArgs(false), {240}, {180}})
    ->ArgsProduct({{PLAIN, FAST}, filterArgs(false), {1920}, {1080}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
