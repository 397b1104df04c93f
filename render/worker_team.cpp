#include "render/worker_team.h"

#include <chrono>
#include <system_error>

#ifdef _OPENMP
#include <omp.h>
#endif

int defaultRenderThreads() {
#ifdef _OPENMP
    return omp_get_max_threads();
#else
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
#endif
}

void capRenderThreads([[maybe_unused]] int most) {
#ifdef _OPENMP
    if (defaultRenderThreads() > most) omp_set_num_threads(most);
#endif
}

namespace {

// How long a thread keeps looking before it sleeps: long enough to catch the next frame
// of a program that renders back to back, short enough to leave the processor to others
// while a frame is presented or waited for. Each look gives way to any thread that wants
// the processor.
constexpr auto SPIN = std::chrono::microseconds(50);

template <class Ready>
bool spinUntil(Ready ready) {
    const auto until = std::chrono::steady_clock::now() + SPIN;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace

WorkerTeam::WorkerTeam(int threads) : wanted_(threads) {
    try {
        for (int i = 1; i < threads; ++i) workers_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        // Out of threads (a process limit, say): the ones started share the work.
    }
}

WorkerTeam::~WorkerTeam() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        generation_.fetch_add(1, std::memory_order_release);
    }
    jobReady_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void WorkerTeam::run(int64_t count, WorkPiece piece, void* context) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        count_ = count;
        piece_ = piece;
        context_ = context;
        next_.store(0, std::memory_order_relaxed);
        busy_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
        // Publishes the job to workers that look without the lock.
        generation_.fetch_add(1, std::memory_order_release);
    }
    jobReady_.notify_all();
    takePieces();
    // Every worker checks in before the job ends, so none can still be reading it when the
    // next one is set up.
    if (spinUntil([this] { return busy_.load(std::memory_order_acquire) == 0; })) return;
    std::unique_lock<std::mutex> lock(mutex_);
    jobDone_.wait(lock, [this] { return busy_.load(std::memory_order_acquire) == 0; });
}

void WorkerTeam::work() {
    uint64_t joined = 0;
    for (;;) {
        const auto newJob = [&] { return generation_.load(std::memory_order_acquire) != joined; };
        if (!spinUntil(newJob)) {
            std::unique_lock<std::mutex> lock(mutex_);
            jobReady_.wait(lock, newJob);
        }
        joined = generation_.load(std::memory_order_acquire);
        if (stopping_) return;
        takePieces();
        if (busy_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            // Under the lock, so that a run() about to sleep cannot miss it.
            std::lock_guard<std::mutex> lock(mutex_);
            jobDone_.notify_one();
        }
    }
}

void WorkerTeam::takePieces() {
    for (;;) {
        const int64_t i = next_.fetch_add(1, std::memory_order_relaxed);
        if (i >= count_) return;
        piece_(context_, i);
    }
}
