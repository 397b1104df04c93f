// Image sequences: which files a numbered --output makes, and that each is a whole image.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/test_support.h"

namespace {

struct SequenceCase {
    const char* label;
    const char* pattern;
    std::vector<std::string> frameArgs;
    std::vector<std::string> files;
};


class SequenceTest : public testing::TestWithParam<SequenceCase> {};

TEST_P(SequenceTest, WritesOneWholeFilePerFrameNamedByItsNumber) {
    const SequenceCase& c = GetParam();
    const std::string dir = freshTestDir();
    std::vector<std::string> args = {"--size", "40x30", "--output", dir + "/" + c.pattern};
    args.insert(args.end(), c.frameArgs.begin(), c.frameArgs.end());
    const ProgramResult r = runProgram(SPONGE_RENDER_PATH, args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");  // standard error is not a terminal: no progress
    EXPECT_EQ(listDir(dir), c.files);  // nothing else, no temporary files left behind
    for (const std::string& name : c.files) {
        RgbImage image;
        EXPECT_TRUE(readImage(dir + "/" + name, &image)) << name;
        EXPECT_EQ(image.width, 40) << name;
        EXPECT_EQ(image.height, 30) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, SequenceTest,
    testing::Values(
        SequenceCase{"ZeroPaddedFromTen", "fly-%05d.png", {"--frames", "12", "--from", "10"},
                     {"fly-00010.png", "fly-00011.png", "fly-00012.png"}},
        SequenceCase{"PlainNumbersPpm", "f%d.ppm", {"--frames", "3"}, {"f1.ppm", "f2.ppm", "f3.ppm"}},
        SequenceCase{"SpacePadded", "f%3d.png", {"--frames", "11", "--from", "10"}, {"f 10.png", "f 11.png"}},
        SequenceCase{"NumberWiderThanField", "f%02d.ppm", {"--frames", "100", "--from", "99"},
                     {"f100.ppm", "f99.ppm"}},
        SequenceCase{"LiteralPercent", "100%%-%d.ppm", {"--frames", "2", "--from", "2"}, {"100%-2.ppm"}},
        SequenceCase{"OnlyTheLastFrame", "last-%d.png", {"--frames", "7", "--from", "7"}, {"last-7.png"}}),
    CaseLabel());

// Frames before --from are rendered, only not written: frame 12 of a sequence starting at
// 10 is the same picture as a still of frame 12, blend history and all.
TEST(SequenceFrom, LaterFramesCarryTheBlendOfTheUnwrittenOnes) {
    const std::string dir = freshTestDir();
    const std::vector<std::string> common = {"--size", "40x30", "--frames", "12", "--raw", "3-4"};
    std::vector<std::string> sequence = common, still = common;
    sequence.insert(sequence.end(), {"--from", "10", "--output", dir + "/seq-%d.ppm"});
    still.insert(still.end(), {"--output", dir + "/still.ppm"});
    ASSERT_EQ(runProgram(SPONGE_RENDER_PATH, sequence).status, 0);
    ASSERT_EQ(runProgram(SPONGE_RENDER_PATH, still).status, 0);
    const std::string fromSequence = readFile(dir + "/seq-12.ppm");
    ASSERT_FALSE(fromSequence.empty());
    EXPECT_TRUE(fromSequence == readFile(dir + "/still.ppm"));
    EXPECT_FALSE(readFile(dir + "/seq-11.ppm") == fromSequence);
}

}  // namespace
