#include "render/frame_rate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A host whose clock reads whatever the test set and which keeps the lines it is given.
struct FakeHost {
    uint32_t now = 0;
    std::vector<std::string> lines;

    PlatformAnswers answers() {
        PlatformAnswers platform;
        platform.context = this;
        platform.clockMs = [](void* c) { return static_cast<FakeHost*>(c)->now; };
        platform.reportLine = [](void* c, const char* text) { static_cast<FakeHost*>(c)->lines.emplace_back(text); };
        return platform;
    }
};

// Runs one frame per clock value and returns the lines written.
std::vector<std::string> runFrames(const std::vector<uint32_t>& clockPerFrame) {
    resetFrameRateReport();
    FakeHost fake;
    const PlatformAnswers platform = fake.answers();
    for (uint32_t t : clockPerFrame) {
        fake.now = t;
        reportFrameRate(platform);
    }
    return fake.lines;
}

struct ReportCase {
    const char* name;
    std::vector<uint32_t> clock;
    std::vector<std::string> expected;
};

TEST(ReportFrameRate, Intervals) {
    const ReportCase cases[] = {
        {"four frames over exactly 1000 ms (3.9999998)", {0, 300, 600, 1000}, {"4.00 fps"}},
        {"999 ms is not yet a second", {0, 500, 999}, {}},
        {"one line per frame however long the gap", {0, 5000, 5001}, {"0.40 fps"}},
        {"new interval starts at the report", {0, 1000, 1500, 2000, 2400, 2999, 3000},
         {"2.00 fps", "2.00 fps", "3.00 fps"}},
        {"clock wrap-around", {0xFFFFFE00u, 0xFFFFFF00u, 0x000001E8u}, {"3.00 fps"}},
        {"frames within one millisecond", {7, 7, 7, 7, 1007}, {"5.00 fps"}},
    };
    for (const ReportCase& c : cases) {
        EXPECT_EQ(runFrames(c.clock), c.expected) << c.name;
    }
}

TEST(ReportFrameRate, ResetsCountAndText) {
    runFrames({100, 200, 1100});
    EXPECT_EQ(framesSinceReport, 0u);
    EXPECT_EQ(reportStartMs, 1100u);
    EXPECT_STREQ(reportText, "3.00 fps");
}

TEST(ReportFrameRate, WithoutClockOrSinkNothingIsDue) {
    resetFrameRateReport();
    for (int i = 0; i < 5; ++i) reportFrameRate(PlatformAnswers{});
    EXPECT_EQ(framesSinceReport, 5u);
}

}  // namespace
