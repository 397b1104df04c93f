// sponge-render when things go wrong around it: closed or full standard output, signals at
// awkward moments, targets it must not or cannot replace, links, FIFOs, long names, too
// little memory. Nothing may hang, and nothing may be lost or left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_program.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

bool showsFrames(const std::string& err, long long frames) { return numberAfterLast(err, "\rframe ") >= frames; }

// Whether a running process has text in its command line: an ffmpeg left behind names the
// file it writes. A killed process may take a moment to go.
bool processMentions(const std::string& text) {
    for (int tries = 0; tries < 100; ++tries) {
        bool found = false;
        for (const auto& entry : fs::directory_iterator("/proc")) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::string cmdline = readFile(entry.path().string() + "/cmdline");
            for (char& c : cmdline) c = c == '\0' ? ' ' : c;
            if (cmdline.find(text) != std::string::npos) found = true;
        }
        if (!found) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

ProgramResult renderWithClosedStdout(const std::vector<std::string>& args) {
    ProgramSession session;
    session.args = args;
    session.closeStdout = true;
    return runSession(SPONGE_RENDER_PATH, session);
}

// A closed descriptor 1 is opened on /dev/null, so no file takes its number; what only
// standard output could carry is refused before rendering.
TEST(ClosedStdout, WhatNeedsItIsRefusedTheRestWorks) {
    const ProgramResult bench = renderWithClosedStdout({"--size", "8x6", "--bench"});
    EXPECT_EQ(bench.status, 1);
    EXPECT_NE(bench.err.find("standard output is closed"), std::string::npos) << bench.err;
    const ProgramResult stream = renderWithClosedStdout({"--size", "8x6", "--output", "-"});
    EXPECT_EQ(stream.status, 1);
    EXPECT_NE(stream.err.find("standard output is closed"), std::string::npos) << stream.err;

    const std::string dir = freshTestDir();
    const ProgramResult still = renderWithClosedStdout({"--size", "8x6", "--frames", "3", "--output", dir + "/f.y4m"});
    EXPECT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(readFile(dir + "/f.y4m").rfind("YUV4MPEG2 W8 H6", 0), 0u);
}

TEST(BenchLine, FullStandardOutputIsAnError) {
    ProgramSession session;
    session.args = {"--size", "8x6", "--bench"};
    session.stdoutFile = "/dev/full";
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
}

struct BeforeFromCase {
    const char* label;
    const char* file;  // "-" for standard output
};

class BeforeFromTest : public testing::TestWithParam<BeforeFromCase> {};

// Ctrl-C while the frames before --from render: nothing written, so nothing created or
// replaced, and the summary says so.
TEST_P(BeforeFromTest, InterruptLeavesAnOldFileAsItWas) {
    const BeforeFromCase& c = GetParam();
    const std::string dir = freshTestDir();
    const bool toStdout = std::string(c.file) == "-";
    const std::string file = toStdout ? "-" : dir + "/" + c.file;
    if (!toStdout) std::ofstream(file) << "an earlier video";
    ProgramSession session;
    session.args = {"--size", "16x12", "--from", "1000000", "--frames", "2000000", "--output", file};
    session.stderrTerminal = true;
    session.signal = SIGINT;
    session.sendWhen = [](const std::string& err) { return showsFrames(err, 10); };
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("interrupted; nothing written"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    if (!toStdout) {
        EXPECT_EQ(listDir(dir), std::vector<std::string>{c.file});
        EXPECT_EQ(readFile(file), "an earlier video");
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, BeforeFromTest,
                         testing::Values(BeforeFromCase{"Mp4", "v.mp4"}, BeforeFromCase{"Y4m", "v.y4m"},
                                         BeforeFromCase{"Png", "v.png"}, BeforeFromCase{"Stream", "-"}),
                         CaseLabel());

struct SecondSignalCase {
    const char* label;
    int second;
    int status;
};

class SecondSignalTest : public testing::TestWithParam<SecondSignalCase> {};

// The first Ctrl-C lets ffmpeg finish the video, which takes a while at this size; a second
// signal meanwhile ends everything at once: ffmpeg, its temporary file, sponge-render.
TEST_P(SecondSignalTest, EndsFfmpegAndRemovesTheTemporaryFile) {
    const SecondSignalCase& c = GetParam();
    const std::string dir = freshTestDir();
    ProgramSession session;
    session.args = {"--size", "1920x1080", "--frames", "100000", "--output", dir + "/v.mp4"};
    session.stderrTerminal = true;
    session.signal = SIGINT;
    session.sendWhen = [](const std::string& err) { return showsFrames(err, 20); };
    session.thenSignal = c.second;
    session.thenAfterMs = 200;
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_FALSE(processMentions(dir)) << "ffmpeg is still running";
    EXPECT_TRUE(listDir(dir).empty()) << "left behind: " << listDir(dir).front();
}

INSTANTIATE_TEST_SUITE_P(Signals, SecondSignalTest,
                         testing::Values(SecondSignalCase{"CtrlCTwice", SIGINT, 130},
                                         SecondSignalCase{"CtrlCThenTerm", SIGTERM, 143}),
                         CaseLabel());

struct EndingSignalCase {
    const char* label;
    int signal;
};

class EndingSignalTest : public testing::TestWithParam<EndingSignalCase> {};

// Signals that end a program at once still take ffmpeg and the temporary file with them.
TEST_P(EndingSignalTest, LeavesNoTemporaryFileNorFfmpeg) {
    const EndingSignalCase& c = GetParam();
    const std::string dir = freshTestDir();
    ProgramSession session;
    session.args = {"--size", "320x240", "--frames", "1000000", "--output", dir + "/v.webm"};
    session.stderrTerminal = true;
    session.signal = c.signal;
    session.sendWhen = [](const std::string& err) { return showsFrames(err, 10); };
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 128 + c.signal) << r.err;
    EXPECT_FALSE(processMentions(dir)) << "ffmpeg is still running";
    EXPECT_TRUE(listDir(dir).empty()) << "left behind: " << listDir(dir).front();
}

INSTANTIATE_TEST_SUITE_P(Signals, EndingSignalTest,
                         testing::Values(EndingSignalCase{"Quit", SIGQUIT}, EndingSignalCase{"User1", SIGUSR1},
                                         EndingSignalCase{"Alarm", SIGALRM}),
                         CaseLabel());

struct KeptFileCase {
    const char* label;
    const char* file;
    bool folder;    // the target is a folder; else a read-only file
    const char* reason;
};

class KeptFileTest : public testing::TestWithParam<KeptFileCase> {};

// A target that must not or cannot be replaced is refused before the first frame renders,
// and stays as it was, mode included.
TEST_P(KeptFileTest, RefusedBeforeRendering) {
    const KeptFileCase& c = GetParam();
    const std::string dir = freshTestDir();
    const std::string path = dir + "/" + c.file;
    if (c.folder) {
        fs::create_directory(path);
    } else {
        std::ofstream(path) << "keep me";
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    ProgramSession session;
    session.args = {"--size", "16x12", "--frames", "1000", "--output", path};
    session.stderrTerminal = true;
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\rframe "), std::string::npos) << "rendered before refusing: " << r.err;
    EXPECT_EQ(listDir(dir), std::vector<std::string>{c.file});
    if (!c.folder) {
        EXPECT_EQ(readFile(path), "keep me");
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, KeptFileTest,
    testing::Values(KeptFileCase{"FolderPng", "f.png", true, "it is a folder"},
                    KeptFileCase{"FolderY4m", "f.y4m", true, "it is a folder"},
                    KeptFileCase{"FolderMp4", "f.mp4", true, "it is a folder"},
                    KeptFileCase{"ReadOnlyPng", "f.png", false, "read-only"},
                    KeptFileCase{"ReadOnlyY4m", "f.y4m", false, "read-only"},
                    KeptFileCase{"ReadOnlyMkv", "f.mkv", false, "read-only"}),
    CaseLabel());

constexpr unsigned NOBODY = 65534;

// In a folder with the sticky bit (as /tmp), only a file's owner may replace it.
TEST(KeptFile, AnotherUsersFileInAStickyFolder) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run sponge-render as another user";
    const std::string dir = freshTestDir();
    fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
    const std::string path = dir + "/theirs.png";
    std::ofstream(path) << "root's";
    fs::permissions(path, fs::perms::all);  // writable by all: only the sticky bit protects it
    ProgramSession session;
    session.args = {"--size", "16x12", "--frames", "1000", "--output", path};
    session.stderrTerminal = true;
    session.runAsUser = NOBODY;
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("belongs to another user"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\rframe "), std::string::npos) << r.err;
    EXPECT_EQ(readFile(path), "root's");
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"theirs.png"});
}

struct LinkCase {
    const char* label;
    const char* file;
    bool dangling;  // the link points to a file that does not exist yet
};

class LinkTest : public testing::TestWithParam<LinkCase> {};

// A symbolic link is written through: the file it points to gets the frames, the link stays.
TEST_P(LinkTest, WritesWhereTheLinkPoints) {
    const LinkCase& c = GetParam();
    const std::string dir = freshTestDir();
    fs::create_directory(dir + "/real");
    const std::string real = dir + "/real/" + c.file;
    if (!c.dangling) std::ofstream(real) << "stale";
    const std::string link = dir + "/" + c.file;
    fs::create_symlink(std::string("real/") + c.file, link);
    const ProgramResult r = runProgram(SPONGE_RENDER_PATH, {"--size", "16x12", "--frames", "3", "--output", link});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(listDir(dir + "/real"), std::vector<std::string>{c.file});
    const std::string written = readFile(real);
    EXPECT_NE(written, "stale");
    if (std::string(c.file).find(".mp4") != std::string::npos) {
        EXPECT_EQ(probeField(probeVideo(real), "nb_read_frames"), "3");
    } else {
        RgbImage image;
        EXPECT_TRUE(std::string(c.file).find(".y4m") != std::string::npos ? written.rfind("YUV4MPEG2", 0) == 0
                                                                          : readImage(real, &image));
    }
}

INSTANTIATE_TEST_SUITE_P(Links, LinkTest,
                         testing::Values(LinkCase{"Png", "f.png", false}, LinkCase{"Y4m", "f.y4m", false},
                                         LinkCase{"Mp4", "f.mp4", false}, LinkCase{"DanglingPng", "f.png", true}),
                         CaseLabel());

struct FifoCase {
    const char* label;
    const char* file;
};

class FifoTest : public testing::TestWithParam<FifoCase> {};

// A FIFO is written as a stream, to whoever reads it, and stays a FIFO.
TEST_P(FifoTest, ReaderGetsTheWholeStream) {
    const FifoCase& c = GetParam();
    const std::string dir = freshTestDir();
    const std::string fifo = dir + "/" + c.file;
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    // Opened without waiting for a writer, so the test cannot hang if none ever comes; an
    // end of file only counts once the program has ended.
    const int in = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(in, 0);
    std::atomic<bool> ended{false};
    std::string received;
    std::thread reader([&] {
        char chunk[65536];
        for (;;) {
            const ssize_t n = read(in, chunk, sizeof chunk);
            if (n > 0) {
                received.append(chunk, static_cast<size_t>(n));
            } else if (n == 0 && ended) {
                return;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    });
    const ProgramResult r = runProgram(SPONGE_RENDER_PATH, {"--size", "16x12", "--frames", "5", "--output", fifo});
    ended = true;
    reader.join();
    close(in);
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(listDir(dir), std::vector<std::string>{c.file});
    const std::string copy = dir + "/received-" + c.file;
    std::ofstream(copy, std::ios::binary) << received;
    EXPECT_EQ(probeField(probeVideo(copy), "nb_read_frames"), "5");
}

INSTANTIATE_TEST_SUITE_P(Streams, FifoTest,
                         testing::Values(FifoCase{"Y4m", "f.y4m"}, FifoCase{"Mp4", "f.mp4"}, FifoCase{"Mkv", "f.mkv"}),
                         CaseLabel());

// Names up to the file system's limit of 255 bytes; the temporary names must fit too.
TEST(LongNames, UpToTheLimitOfTheFileSystem) {
    const std::string dir = freshTestDir();
    for (const char* extension : {".png", ".y4m", ".mp4"}) {
        const std::string name = std::string(255 - std::string(extension).size(), 'n') + extension;
        const ProgramResult r =
            runProgram(SPONGE_RENDER_PATH, {"--size", "16x12", "--frames", "2", "--output", dir + "/" + name});
        EXPECT_EQ(r.status, 0) << extension << ": " << r.err;
        EXPECT_TRUE(fs::exists(dir + "/" + name)) << extension;
        fs::remove(dir + "/" + name);
    }
    EXPECT_TRUE(listDir(dir).empty());
}

// A frame that fits in memory when its Y4M conversion does not: said before rendering.
TEST(Memory, Y4mBufferTooLargeIsReportedBeforeRendering) {
#ifdef SPONGE_SANITIZED
    GTEST_SKIP() << "the sanitizers need far more address space than the limit leaves";
#endif
    const std::string dir = freshTestDir();
    ProgramSession session;
    // 16384 x 12288 pixels take 768 MiB; their Y4M frame 288 MiB more than a 900 MiB limit allows.
    session.args = {"--size", "16384x12288", "--frames", "2", "--output", dir + "/big.y4m"};
    session.stderrTerminal = true;
    session.addressSpaceLimit = 900ull << 20;
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("not enough memory"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\rframe "), std::string::npos) << r.err;
    EXPECT_TRUE(listDir(dir).empty());
}

}  // namespace
