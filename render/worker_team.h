// A few threads that share one job at a time with the thread that starts it. Between jobs
// they sleep, so that presenting a frame or waiting for the next one leaves the processors
// to others (a display server, say) instead of spinning on them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// How many threads shade a frame unless told: one per processor, or what OMP_NUM_THREADS
// says (the plain path's OpenMP default, which the fast path follows).
int defaultRenderThreads();

// Lowers the default thread count to most when it is above (a mistyped OMP_NUM_THREADS would
// start more threads than the machine can hold).
void capRenderThreads(int most);

// Runs piece(context, i) for every i of a job, each once, by whichever thread is free.
using WorkPiece = void (*)(void* context, int64_t index);

class WorkerTeam {
public:
    // threads: how many run a job, the caller's included (at least 1; 1 starts none). When the
    // system refuses to start that many, the team works with those it has: see size().
    explicit WorkerTeam(int threads);
    ~WorkerTeam();
    WorkerTeam(const WorkerTeam&) = delete;
    WorkerTeam& operator=(const WorkerTeam&) = delete;

    int size() const { return static_cast<int>(workers_.size()) + 1; }
    // The threads asked for.
    int wanted() const { return wanted_; }

    // Pieces 0 to count - 1 of a job, handed out one at a time in increasing order; returns
    // once every piece is done. One job at a time, from one thread.
    void run(int64_t count, WorkPiece piece, void* context);

private:
    void work();
    void takePieces();

    int wanted_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable jobReady_;
    std::condition_variable jobDone_;
    // The current job and whether to stop, written under the mutex before generation_
    // moves on, which publishes them.
    int64_t count_ = 0;
    WorkPiece piece_ = nullptr;
    void* context_ = nullptr;
    bool stopping_ = false;
    std::atomic<uint64_t> generation_{0};  // which job the workers are asked to join
    std::atomic<int> busy_{0};             // workers still inside the current job
    std::atomic<int64_t> next_{0};         // the next piece to hand out
};
