#include "render/worker_team.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

struct Tally {
    std::vector<std::atomic<int>> runs;
    explicit Tally(size_t n) : runs(n) {}
};

void count(void* context, int64_t i) { static_cast<Tally*>(context)->runs[static_cast<size_t>(i)]++; }

// Every piece of every job runs exactly once, and run() returns only when all have: jobs
// follow one another as frames do, some with fewer pieces than threads, some with none.
TEST(WorkerTeam, EveryPieceOnceJobAfterJob) {
    for (const int threads : {1, 2, 3, 5}) {
        WorkerTeam team(threads);
        EXPECT_EQ(team.size(), threads);
        for (int job = 0; job < 300; ++job) {
            const int64_t pieces = job % 7 == 0 ? 0 : job % 41;
            Tally tally(static_cast<size_t>(pieces));
            team.run(pieces, count, &tally);
            for (int64_t i = 0; i < pieces; ++i) {
                ASSERT_EQ(tally.runs[static_cast<size_t>(i)].load(), 1) << threads << " threads, job " << job;
            }
        }
    }
}

}  // namespace
