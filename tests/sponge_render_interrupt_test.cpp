// Ctrl-C (and SIGTERM and SIGHUP) during a render: the output keeps the frames finished so
// far, whole and playable, and the exit status is 128 + the signal's number.
#include <gtest/gtest.h>
#include <signal.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/test_support.h"

namespace {

struct InterruptCase {
    const char* label;
    const char* file;
    int signal;  // the exit status is 128 + its number
};


class InterruptTest : public testing::TestWithParam<InterruptCase> {};

// The signal goes to the whole process group, as a terminal's Ctrl-C does, once the
// progress line shows some frames done; how many does not matter, only that the output
// then holds exactly the frames the summary names.
TEST_P(InterruptTest, OutputHoldsTheFramesFinishedSoFar) {
    const InterruptCase& c = GetParam();
    const std::string dir = freshTestDir();
    ProgramSession session;
    session.args = {"--size", "48x36", "--frames", "1000000", "--output", dir + "/" + c.file};
    session.stderrTerminal = true;
    session.signal = c.signal;
    session.sendWhen = [](const std::string& err) { return numberAfterLast(err, "\rframe ") >= 10; };
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 128 + c.signal) << r.err;

    const std::string summary = "interrupted; wrote frames 1-";
    const long long frames = numberAfterLast(r.err, summary);
    ASSERT_GE(frames, 10) << r.err;
    EXPECT_LT(frames, 1000000);
    EXPECT_EQ(listDir(dir), std::vector<std::string>{c.file});  // renamed into place, no temporary left
    EXPECT_EQ(probeField(probeVideo(dir + "/" + c.file), "nb_read_frames"), std::to_string(frames));
}

INSTANTIATE_TEST_SUITE_P(Videos, InterruptTest,
                         testing::Values(InterruptCase{"Mp4CtrlC", "fly.mp4", SIGINT},
                                         InterruptCase{"MkvTerm", "fly.mkv", SIGTERM},
                                         InterruptCase{"WebmCtrlC", "fly.webm", SIGINT},
                                         InterruptCase{"Y4mCtrlC", "fly.y4m", SIGINT},
                                         InterruptCase{"Y4mTerm", "fly.y4m", SIGTERM},
                                         // The terminal closed: the same as a SIGTERM.
                                         InterruptCase{"Mp4Hangup", "fly.mp4", SIGHUP},
                                         InterruptCase{"Y4mHangup", "fly.y4m", SIGHUP}),
                         CaseLabel());

TEST(Interrupt, SequenceKeepsEveryFinishedFrameWhole) {
    const std::string dir = freshTestDir();
    ProgramSession session;
    session.args = {"--size", "48x36", "--frames", "1000000", "--output", dir + "/f-%d.ppm"};
    session.stderrTerminal = true;
    session.signal = SIGINT;
    session.sendWhen = [](const std::string& err) { return numberAfterLast(err, "\rframe ") >= 10; };
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 130) << r.err;
    const long long last = numberAfterLast(r.err, "to " + dir + "/f-");
    ASSERT_GE(last, 10) << r.err;
    const std::vector<std::string> files = listDir(dir);
    EXPECT_EQ(files.size(), static_cast<size_t>(last));
    for (const std::string& name : files) {
        RgbImage image;
        EXPECT_TRUE(readImage(dir + "/" + name, &image)) << name;
    }
}

}  // namespace
