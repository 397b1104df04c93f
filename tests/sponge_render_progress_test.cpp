// The progress line: on a terminal, self-updating and closed by a summary; absent when
// standard error is not a terminal or with --quiet.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/test_support.h"

namespace {

TEST(Progress, OnATerminalTheLineUpdatesAndEndsWithASummary) {
    const std::string dir = freshTestDir();
    ProgramSession session;
    session.args = {"--size", "16x12", "--frames", "40", "--output", dir + "/f-%d.ppm", "--from", "31"};
    session.stderrTerminal = true;
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    ASSERT_EQ(r.status, 0) << r.err;
    // Each redraw starts with a carriage return; the last shows every frame done.
    EXPECT_EQ(r.err.rfind("\rframe 1/40 ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\rframe 40/40  100%"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" fps "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" left"), std::string::npos) << r.err;
    // The summary replaces the line and is the only one ended by a newline (the
    // terminal shows "\n" as "\r\n").
    const size_t summary = r.err.rfind('\r', r.err.size() - 3);
    ASSERT_NE(summary, std::string::npos);
    const std::string last = r.err.substr(summary);
    EXPECT_EQ(last.rfind("\r40 of 40 frames in ", 0), 0u) << last;
    EXPECT_NE(last.find("wrote " + dir + "/f-31.ppm to " + dir + "/f-40.ppm"), std::string::npos) << last;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
    EXPECT_EQ(listDir(dir).size(), 10u);
}

// A terminal that does not know ESC [ K (TERM=dumb) gets spaces over what a longer line left,
// and no escape sequence.
TEST(Progress, ADumbTerminalGetsNoEscapes) {
    ProgramSession session;
    session.args = {"--size", "8x6", "--frames", "3000", "--bench"};
    session.stderrTerminal = true;
    session.replaceEnvironment = true;
    for (const std::string& e : environmentWithPath("/usr/bin:/bin")) {
        if (e.rfind("TERM=", 0) != 0) session.environment.push_back(e);
    }
    session.environment.push_back("TERM=dumb");
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\r3000 of 3000 frames in "), std::string::npos) << r.err;
}

struct SilentCase {
    const char* label;
    bool terminal;
    std::vector<std::string> extra;
};


class SilentTest : public testing::TestWithParam<SilentCase> {};

TEST_P(SilentTest, NoProgressText) {
    const SilentCase& c = GetParam();
    ProgramSession session;
    session.args = {"--size", "16x12", "--frames", "20"};
    session.args.insert(session.args.end(), c.extra.begin(), c.extra.end());
    session.stderrTerminal = c.terminal;
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, SilentTest,
                         testing::Values(SilentCase{"NotATerminal", false, {}},
                                         SilentCase{"QuietOnATerminal", true, {"--quiet"}},
                                         SilentCase{"QuietBench", true, {"--quiet", "--bench"}}),
                         CaseLabel());

// While streaming, the progress goes to the terminal and standard output holds the
// stream alone.
TEST(Progress, StreamingKeepsStandardOutputClean) {
    ProgramSession session;
    session.args = {"--size", "16x12", "--frames", "5", "--output", "-"};
    session.stderrTerminal = true;
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string header = "YUV4MPEG2 W16 H12 F60:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n";
    EXPECT_EQ(r.out.size(), header.size() + 5 * (6 + 16 * 12 + 2 * 8 * 6));
    EXPECT_EQ(r.out.rfind(header, 0), 0u);
    EXPECT_NE(r.err.find("frame 5/5"), std::string::npos) << r.err;
}

}  // namespace
