// --resume: a sequence stopped by Ctrl-C, or with its last file damaged, goes on from the last
// frame that reads whole and ends byte for byte as an uninterrupted run; a sequence rendered
// with other settings is refused, with the reason. Every PNG says its settings.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/test_support.h"
#include "tools/sponge-render/image_file.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> SETTINGS = {"--size", "160x120", "--filter", "quad", "--raw", "10-15"};

ProgramResult render(const std::string& output, const std::vector<std::string>& more) {
    std::vector<std::string> args = SETTINGS;
    args.insert(args.end(), {"--quiet", "--output", output});
    args.insert(args.end(), more.begin(), more.end());
    return runProgram(SPONGE_RENDER_PATH, args);
}

void expectSameFolders(const std::string& a, const std::string& b) {
    const std::vector<std::string> names = listDir(a);
    ASSERT_EQ(names, listDir(b));
    for (const std::string& name : names) ASSERT_EQ(readFile(a + "/" + name), readFile(b + "/" + name)) << name;
}

TEST(Resume, AfterCtrlCTheSequenceIsTheUninterruptedOne) {
    const std::string dir = freshTestDir();
    fs::create_directories(dir + "/whole");
    fs::create_directories(dir + "/resumed");
    ASSERT_EQ(render(dir + "/whole/f-%03d.png", {"--frames", "300", "--from", "20"}).status, 0);

    ProgramSession session;
    session.args = SETTINGS;
    session.args.insert(session.args.end(), {"--frames", "300", "--from", "20", "--output", dir + "/resumed/f-%03d.png"});
    session.stderrTerminal = true;
    session.signal = SIGINT;
    session.sendWhen = [](const std::string& err) { return numberAfterLast(err, "\rframe ") >= 40; };
    const ProgramResult stopped = runSession(SPONGE_RENDER_PATH, session);
    ASSERT_EQ(stopped.status, 130) << stopped.err;
    const size_t written = listDir(dir + "/resumed").size();
    ASSERT_GT(written, 0u);
    ASSERT_LT(written, 281u) << "the Ctrl-C came too late to stop anything";

    const ProgramResult resumed = render(dir + "/resumed/f-%03d.png", {"--frames", "300", "--from", "20", "--resume"});
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    expectSameFolders(dir + "/whole", dir + "/resumed");
}

TEST(Resume, ADamagedOrMissingLastFileIsRenderedAgainFromTheOneBefore) {
    const std::string dir = freshTestDir();
    for (const char* folder : {"/whole", "/part", "/ppm-whole", "/ppm-part"}) fs::create_directories(dir + folder);
    ASSERT_EQ(render(dir + "/whole/f-%d.png", {"--frames", "80"}).status, 0);
    ASSERT_EQ(render(dir + "/part/f-%d.png", {"--frames", "60"}).status, 0);
    // The newest cut short, the one before it missing: frame 58 is where it goes on.
    const std::string last = readFile(dir + "/part/f-60.png");
    std::ofstream(dir + "/part/f-60.png", std::ios::binary) << last.substr(0, last.size() / 2);
    fs::remove(dir + "/part/f-59.png");
    const ProgramResult resumed = render(dir + "/part/f-%d.png", {"--frames", "80", "--resume"});
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(resumed.err.find("'" + dir + "/part/f-60.png' does not read"), std::string::npos) << resumed.err;
    expectSameFolders(dir + "/whole", dir + "/part");

    // A PPM holds the frame as well, though not its settings.
    ASSERT_EQ(render(dir + "/ppm-whole/f-%d.ppm", {"--frames", "80"}).status, 0);
    ASSERT_EQ(render(dir + "/ppm-part/f-%d.ppm", {"--frames", "45"}).status, 0);
    ASSERT_EQ(render(dir + "/ppm-part/f-%d.ppm", {"--frames", "80", "--resume"}).status, 0);
    expectSameFolders(dir + "/ppm-whole", dir + "/ppm-part");
}

TEST(Resume, OtherSettingsAreRefusedWithTheReason) {
    const std::string dir = freshTestDir();
    ASSERT_EQ(render(dir + "/f-%d.png", {"--frames", "12"}).status, 0);
    const std::vector<std::string> before = listDir(dir);
    struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"--size", "160x120", "--filter", "cross", "--raw", "10-15"},
         "it was rendered with the trail filter 'quad', this command's is 'cross'"},
        {{"--size", "160x120", "--filter", "quad"}, "it was rendered with the raw frames '10-15', this command's is 'none'"},
        {{"--size", "80x60", "--filter", "quad", "--raw", "10-15"}, "it is 160x120, this command's frames are 80x60"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--frames", "20", "--resume", "--output", dir + "/f-%d.png"});
        const ProgramResult r = runProgram(SPONGE_RENDER_PATH, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "sponge-render: --resume: cannot go on from '" + dir + "/f-12.png': " + c.reason + "\n");
    }
    EXPECT_EQ(listDir(dir), before);
}

TEST(Resume, EveryPngSaysItsSettings) {
    const std::string dir = freshTestDir();
    ASSERT_EQ(render(dir + "/still.png", {"--frames", "12"}).status, 0);
    ImageRead image;
    std::string error;
    ASSERT_TRUE(readImageFile(dir + "/still.png", &image, &error)) << error;
    const ImageText expected = {{"sponge:size", "160x120"}, {"sponge:filter", "quad"}, {"sponge:camera", "fixed path"},
                                {"sponge:raw", "10-15"},  {"sponge:version", SPONGE_VERSION}, {"sponge:frame", "12"}};
    EXPECT_EQ(image.text, expected);
}

}  // namespace
