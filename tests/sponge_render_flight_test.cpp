// sponge-render --flight and --record: a recorded fixed path renders the fixed path's frames
// again, a bad flight is refused before anything is rendered, and a Ctrl-C keeps the poses
// of the frames done.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/test_support.h"

namespace {

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The data lines of a flight file.
std::vector<std::string> poseLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        if (!line.empty() && line[0] != '#') lines.push_back(line);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

TEST(Flight, RecordingTheFixedPathAndFlyingItGivesTheSameFrames) {
    const std::string dir = freshTestDir();
    const std::vector<std::string> common = {"--size", "48x32", "--filter", "quad", "--raw", "90-95", "--quiet"};
    std::vector<std::string> record = common;
    record.insert(record.end(), {"--frames", "150", "--record", dir + "/fixed.flight", "--output", dir + "/a-%d.ppm"});
    ProgramResult r = runProgram(SPONGE_RENDER_PATH, record);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = poseLines(readFile(dir + "/fixed.flight"));
    ASSERT_EQ(lines.size(), 150u);
    EXPECT_EQ(lines[0].substr(0, 2), "1 ");
    EXPECT_EQ(lines[149].substr(0, 4), "150 ");

    // No --frames: the flight's last frame is the last one rendered.
    std::vector<std::string> replay = common;
    replay.insert(replay.end(), {"--flight", dir + "/fixed.flight", "--output", dir + "/b-%d.ppm"});
    r = runProgram(SPONGE_RENDER_PATH, replay);
    ASSERT_EQ(r.status, 0) << r.err;
    for (int frame = 1; frame <= 150; ++frame) {
        const std::string a = readFile(dir + "/a-" + std::to_string(frame) + ".ppm");
        ASSERT_FALSE(a.empty());
        ASSERT_EQ(a, readFile(dir + "/b-" + std::to_string(frame) + ".ppm")) << "frame " << frame;
    }
    EXPECT_EQ(listDir(dir).size(), 301u);
}

struct BadFlightRunCase {
    const char* label;
    const char* text;  // null: no file at all
    std::vector<std::string> args;
    const char* message;  // after "sponge-render: ", with FLIGHT for the file's path
};

class BadFlightRunTest : public testing::TestWithParam<BadFlightRunCase> {};

TEST_P(BadFlightRunTest, RefusedBeforeAnythingIsRenderedOrWritten) {
    const BadFlightRunCase& c = GetParam();
    const std::string dir = freshTestDir();
    const std::string flight = dir + "/bad.flight";
    if (c.text) writeText(flight, c.text);
    std::vector<std::string> args = {"--flight", flight, "--output", dir + "/out.png", "--record", dir + "/rec.flight"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramResult r = runProgram(SPONGE_RENDER_PATH, args);
    EXPECT_EQ(r.status, 2);
    std::string message = c.message;
    message.replace(message.find("FLIGHT"), 6, flight);
    EXPECT_EQ(r.err, "sponge-render: " + message + "\n");
    EXPECT_EQ(listDir(dir), c.text ? std::vector<std::string>{"bad.flight"} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFlightRunTest,
    testing::Values(
        BadFlightRunCase{"Missing", nullptr, {}, "--flight: cannot read 'FLIGHT': No such file or directory"},
        BadFlightRunCase{"NotFinite", "# a flight\n1 0.5 0.5 0.5 0 0 0\n2 0.5 0.5 0.5 0 1e40 0\n", {},
                         "--flight: FLIGHT:3: a2: '1e40' is not a finite number"},
        BadFlightRunCase{"Empty", "", {}, "--flight: FLIGHT:1: the flight holds no poses"},
        BadFlightRunCase{"FramesPastItsEnd", "1 0.5 0.5 0.5 0 0 0\n30 0.5 1 0.5 0 0 0\n", {"--frames", "31"},
                         "--frames: 31 is after the last frame of the flight (30 in FLIGHT)"},
        BadFlightRunCase{"FromPastItsEnd", "1 0.5 0.5 0.5 0 0 0\n30 0.5 1 0.5 0 0 0\n", {"--from", "31"},
                         "--from: 31 is after the last frame (30, the last of FLIGHT)"}),
    CaseLabel());

// The README's example: a keyframed tour, frames between its keys on the curve.
TEST(Flight, TheExampleTourFlies) {
    const ProgramResult r =
        runProgram(SPONGE_RENDER_PATH, {"--flight", std::string(SPONGE_DOCS_DIR) + "/tour.flight", "--size", "8x6", "--bench"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("frames 720  size 8x6", 0), 0u) << r.out;
}

TEST(Flight, ExploreNeedsAWindowAndNoFlight) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--explore"}, {"--window", "--explore", "--flight", "f"}}) {
        const ProgramResult r = runProgram(SPONGE_RENDER_PATH, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("--explore"), std::string::npos) << r.err;
    }
}

TEST(Flight, InterruptedRecordKeepsThePosesOfTheFramesDone) {
    const std::string dir = freshTestDir();
    ProgramSession session;
    session.args = {"--size", "16x12", "--frames", "1000000", "--bench", "--record", dir + "/rec.flight"};
    session.stderrTerminal = true;
    session.signal = SIGINT;
    session.sendWhen = [](const std::string& err) { return numberAfterLast(err, "\rframe ") >= 10; };
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 130) << r.err;
    // The summary: "N of 1000000 frames in ...".
    const size_t of = r.err.rfind(" of 1000000 frames");
    ASSERT_NE(of, std::string::npos) << r.err;
    const long long done = numberAfterLast(r.err.substr(0, of), "\r");
    ASSERT_GE(done, 10) << r.err;
    EXPECT_NE(r.err.find("frames in "), std::string::npos);
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"rec.flight"});
    const std::vector<std::string> lines = poseLines(readFile(dir + "/rec.flight"));
    ASSERT_EQ(static_cast<long long>(lines.size()), done);
    for (size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(lines[i].substr(0, lines[i].find(' ')), std::to_string(i + 1));
}

}  // namespace
