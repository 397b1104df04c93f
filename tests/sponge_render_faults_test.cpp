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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_program.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

bool showsFrames(const std::string& err, long long frames) { return numberAfterLast(err, "\rframe ") >= frames; }

// Whether a running process has text in its command line: an ffmpeg left behind names the
// file it writes. A killed process may take a moment to go, longer on a busy machine: up to a
// minute, returning as soon as it has gone.
bool processMentions(const std::string& text) {
    for (int tries = 0; tries < 1200; ++tries) {
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

// A stand-in for ffmpeg that passes the trial encode, reads every frame and then takes its
// time finishing, as a real ffmpeg does with a large video; the first argument it was given
// mentions the test's folder, so processMentions finds it while it runs.
std::string slowFfmpeg(const std::string& bin) {
    fs::create_directories(bin);
    std::ofstream(bin + "/ffmpeg") << "#!/bin/sh\n"
                                      "case \"$*\" in *lavfi*) exit 0 ;; esac\n"
                                      "/bin/cat >/dev/null\n"
                                      "exec /bin/sleep 60\n";
    fs::permissions(bin + "/ffmpeg", fs::perms::owner_all);
    return bin;
}

// The first Ctrl-C lets ffmpeg finish the video; a second signal meanwhile ends everything at
// once: ffmpeg, its temporary file, sponge-render.
TEST_P(SecondSignalTest, EndsFfmpegAndRemovesTheTemporaryFile) {
    const SecondSignalCase& c = GetParam();
    const std::string dir = freshTestDir();
    const std::string out = dir + "/out";
    fs::create_directories(out);
    ProgramSession session;
    session.args = {"--size", "64x48", "--frames", "100000", "--output", out + "/v.mp4"};
    session.replaceEnvironment = true;
    session.environment = environmentWithPath(slowFfmpeg(dir + "/bin"));
    session.stderrTerminal = true;
    session.signal = SIGINT;
    session.sendWhen = [](const std::string& err) { return showsFrames(err, 20); };
    session.thenSignal = c.second;
    session.thenAfterMs = 200;
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_FALSE(processMentions(out)) << "ffmpeg is still running";
    EXPECT_TRUE(listDir(out).empty()) << "left behind: " << listDir(out).front();
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

// Every output reaches the disk before its name does, and its name after: the file is fsynced
// before the rename (also a video, which ffmpeg wrote) and its folder after it.
TEST(Durability, EachOutputIsFsyncedBeforeItsRenameAndTheFolderAfter) {
    const std::string dir = freshTestDir();
    fs::create_directories(dir + "/out");
    for (const char* name : {"v.mp4", "v.webm", "v.y4m", "still.png", "still.ppm", "f-%d.png"}) {
        const std::string log = dir + "/strace.log";
        // LeakSanitizer cannot work under ptrace and fails the program when sanitized.
        const ProgramResult r = runProgram(
            "/usr/bin/strace", {"-f", "-y", "-e", "trace=fsync,rename", "-o", log, "-E", "ASAN_OPTIONS=detect_leaks=0",
                                SPONGE_RENDER_PATH, "--size", "16x12", "--frames", "2", "--quiet", "--output",
                                dir + "/out/" + name});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        // Only the calls that succeeded, in order.
        std::vector<std::string> calls;
        std::istringstream lines(readFile(log));
        for (std::string line; std::getline(lines, line);) {
            if (line.find(" = 0") != std::string::npos && line.find("resumed") == std::string::npos) calls.push_back(line);
        }
        const std::string out = dir + "/out";
        size_t renames = 0;
        for (size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].find("rename(") == std::string::npos) continue;
            ++renames;
            const std::string temp = calls[i].substr(calls[i].find('"') + 1);
            ASSERT_GT(i, 0u) << name;
            EXPECT_NE(calls[i - 1].find("fsync("), std::string::npos) << name << ": " << calls[i - 1];
            EXPECT_NE(calls[i - 1].find(".partial-"), std::string::npos) << name << ": " << calls[i - 1];
            ASSERT_LT(i + 1, calls.size()) << name;
            EXPECT_NE(calls[i + 1].find("fsync(") , std::string::npos) << name << ": " << calls[i + 1];
            EXPECT_NE(calls[i + 1].find("<" + out + ">"), std::string::npos) << name << ": " << calls[i + 1];
        }
        EXPECT_EQ(renames, std::string(name) == "f-%d.png" ? 2u : 1u) << name;
        fs::remove_all(dir + "/out");
        fs::create_directories(dir + "/out");
    }
}

// A folder made read-only while a video renders: the rename at the end fails, and the complete
// video is kept under its temporary name, which the message gives.
TEST(Durability, ARenameRefusedKeepsTheWholeFileAndSaysWhere) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run sponge-render as another user";
    const std::string dir = freshTestDir();
    const std::string out = dir + "/out";
    fs::create_directories(out);
    ASSERT_EQ(chown(out.c_str(), 65534, 65534), 0);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::others_exec | fs::perms::others_read);
    ProgramSession session;
    session.args = {"--size", "32x24", "--frames", "1000000", "--output", out + "/v.mkv"};
    session.runAsUser = 65534;
    session.stderrTerminal = true;
    // Read-only after some frames; then Ctrl-C, which finishes the video and renames it.
    session.signal = SIGINT;
    session.sendWhen = [&](const std::string& err) {
        if (!showsFrames(err, 5)) return false;
        fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec);
        return true;
    };
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    fs::permissions(out, fs::perms::owner_all);
    EXPECT_EQ(r.status, 1) << r.err;
    const long long frames = numberAfterLast(r.err, "\r");
    const std::vector<std::string> left = listDir(out);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind("v.mkv.partial-", 0), 0u) << left[0];
    EXPECT_NE(r.err.find("Permission denied; the complete file is kept as '" + out + "/" + left[0] + "'"),
              std::string::npos) << r.err;
    EXPECT_GE(std::stoll("0" + probeField(probeVideo(out + "/" + left[0]), "nb_read_frames")), 5) << frames;
}

// More threads asked for than may be had: a note, and the frames on those that started; a
// thread count no machine has is lowered with a note.
TEST(Threads, TooManyAskedForAreANoteNotACrash) {
    std::vector<std::string> env = environmentWithPath("/usr/bin:/bin");
    env.push_back("OMP_NUM_THREADS=99999999999");
    ProgramSession huge;
    huge.args = {"--size", "8x6", "--frames", "2", "--bench"};
    huge.replaceEnvironment = true;
    huge.environment = env;
    ProgramResult r = runSession(SPONGE_RENDER_PATH, huge);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("threads; rendering with 1024"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("threads 1024"), std::string::npos) << r.out;

    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run sponge-render as another user under a process limit";
    env.back() = "OMP_NUM_THREADS=16";
    ProgramSession limited;
    limited.args = {"--size", "8x6", "--frames", "2", "--bench"};
    limited.replaceEnvironment = true;
    limited.environment = env;
    limited.runAsUser = 65534;
    limited.processLimit = 6;
    r = runSession(SPONGE_RENDER_PATH, limited);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("of the 16 threads asked for; rendering with those"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("frames 2 "), std::string::npos) << r.out;
}

// An interrupted run that writes nothing says how far it got, and nothing about files.
TEST(Interrupted, BenchSaysHowFarItGot) {
    ProgramSession session;
    session.args = {"--size", "8x6", "--frames", "100000000", "--bench"};
    session.signal = SIGINT;
    session.sendWhen = [started = std::chrono::steady_clock::now()](const std::string&) {
        return std::chrono::steady_clock::now() - started > std::chrono::milliseconds(300);
    };
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 130);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(numberAfterLast(r.err, "interrupted after ") >= 0, true) << r.err;
    EXPECT_NE(r.err.find(" of 100000000 frames\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(';'), std::string::npos) << r.err;
}

}  // namespace
