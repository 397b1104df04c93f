// Flight files, keyframed flights and free flight: text that reads back to the same bits,
// bad files refused with the line and the reason, interpolation exact at the keys and pinned
// between them, and free flight as a pure function of its input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "flight/flight_file.h"
#include "flight/free_flight.h"
#include "flight/keyframes.h"
#include "render/float_bits.h"
#include "render/frame_step.h"
#include "render/shade_row.h"
#include "tests/test_support.h"

namespace {

bool samePose(const CameraPose& a, const CameraPose& b) {
    for (int k = 0; k < 3; ++k) {
        if (bitsOf(a.position[k]) != bitsOf(b.position[k])) return false;
    }
    return bitsOf(a.angle[0]) == bitsOf(b.angle[0]) && bitsOf(a.angle[1]) == bitsOf(b.angle[1]) &&
           a.singleAxis == b.singleAxis;
}

Flight parsed(const std::string& text) {
    Flight flight;
    std::string error;
    EXPECT_TRUE(parseFlight(text, "f.txt", &flight, &error)) << error;
    return flight;
}

TEST(FlightFile, EveryFiniteFloatReadsBackToItsBits) {
    std::mt19937 rng(11);
    std::vector<float> values = {0.0f, -0.0f, std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::min(), 0.1f, 1.0f / 3.0f, 16777217.0f, 524288.0f};
    while (values.size() < 50000) {
        const float x = floatOf(static_cast<uint32_t>(rng()));
        if (std::isfinite(x)) values.push_back(x);
    }
    std::string text = flightHeader();
    std::vector<FlightKey> keys;
    for (size_t i = 0; i + 5 <= values.size(); i += 5) {
        const CameraPose pose{{values[i], values[i + 1], values[i + 2]}, {values[i + 3], values[i + 4]},
                              static_cast<int32_t>(i % 2)};
        keys.push_back({static_cast<int>(i / 5 + 1), pose});
        text += flightLine(keys.back().frame, pose);
    }
    const Flight flight = parsed(text);
    ASSERT_EQ(flight.keys.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(flight.keys[i].frame, keys[i].frame);
        ASSERT_TRUE(samePose(flight.keys[i].pose, keys[i].pose)) << "line " << i + 2 << ": " << flightLine(keys[i].frame, keys[i].pose);
    }
}

TEST(FlightFile, HexadecimalFloatsCommentsBlankLinesCrlfAndAByteOrderMark) {
    const Flight flight = parsed("\xEF\xBB\xBF# a flight\r\n\r\n  \t\r\n7\t0x1.8p-3 -0x1p+2 1e-3  0.5 -0 1\r\n# done\n9 1 2 3 4 5 0");
    ASSERT_EQ(flight.keys.size(), 2u);
    EXPECT_EQ(flight.keys[0].frame, 7);
    EXPECT_EQ(flight.keys[0].pose.position[0], 0.1875f);
    EXPECT_EQ(flight.keys[0].pose.position[1], -4.0f);
    EXPECT_EQ(flight.keys[0].pose.position[2], 0.001f);
    EXPECT_EQ(bitsOf(flight.keys[0].pose.angle[1]), 0x80000000u);  // -0 stays -0
    EXPECT_EQ(flight.keys[0].pose.singleAxis, 1);
    EXPECT_EQ(flight.keys[1].frame, 9);
}

struct BadFlightCase {
    const char* label;
    const char* text;
    const char* message;  // what follows "f.txt:"
};

class BadFlightTest : public testing::TestWithParam<BadFlightCase> {};

TEST_P(BadFlightTest, RefusedWithTheLineAndTheReason) {
    Flight flight;
    std::string error;
    EXPECT_FALSE(parseFlight(GetParam().text, "f.txt", &flight, &error));
    EXPECT_EQ(error, std::string("f.txt:") + GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFlightTest,
    testing::Values(
        BadFlightCase{"Empty", "", "1: the flight holds no poses"},
        BadFlightCase{"CommentsOnly", "# nothing\n\n# here\n", "3: the flight holds no poses"},
        BadFlightCase{"TruncatedLine", "1 0 0 0 0 0 0\n2 0.5 0.5\n",
                      "2: the line is cut short: 3 of the 7 fields (frame p0 p1 p2 a1 a2 single)"},
        BadFlightCase{"ExtraField", "1 0 0 0 0 0 0 speed=2\n", "1: unknown field 'speed=2' after the 7 fields"},
        BadFlightCase{"WordForNumber", "1 0 zero 0 0 0 0\n", "1: p1: expected a number, got 'zero'"},
        BadFlightCase{"TrailingJunk", "1 0 0 0 0.5deg 0 0\n", "1: a1: expected a number, got '0.5deg'"},
        BadFlightCase{"Infinity", "1 0 0 0 0 inf 0\n", "1: a2: 'inf' is not a finite number"},
        BadFlightCase{"Nan", "1 -nan 0 0 0 0 0\n", "1: p0: '-nan' is not a finite number"},
        BadFlightCase{"TooLargeForAFloat", "1 0 0 1e39 0 0 0\n", "1: p2: '1e39' is not a finite number"},
        BadFlightCase{"FrameZero", "0 0 0 0 0 0 0\n", "1: frame: expected a whole decimal number from 1 to 2147483647, got '0'"},
        BadFlightCase{"FrameFraction", "1.5 0 0 0 0 0 0\n",
                      "1: frame: expected a whole decimal number from 1 to 2147483647, got '1.5'"},
        BadFlightCase{"FrameTooLarge", "2147483648 0 0 0 0 0 0\n",
                      "1: frame: expected a whole decimal number from 1 to 2147483647, got '2147483648'"},
        BadFlightCase{"SingleNotAFlag", "1 0 0 0 0 0 2\n", "1: single: expected 0 or 1, got '2'"},
        BadFlightCase{"Repeated", "1 0 0 0 0 0 0\n# again\n1 0 0 0 0 0 0\n", "3: frame 1 is repeated: frames must increase"},
        BadFlightCase{"OutOfOrder", "5 0 0 0 0 0 0\n4 0 0 0 0 0 0\n", "2: frame 4 comes after frame 5: frames must increase"}),
    CaseLabel());

TEST(FlightFile, AnEndlessLineIsRefused) {
    Flight flight;
    std::string error;
    EXPECT_FALSE(parseFlight("1 0 0 0 0 0 0" + std::string(5000, ' ') + "\n", "f.txt", &flight, &error));
    EXPECT_EQ(error, "f.txt:1: the line is longer than 1024 characters");
}

// Three keys far apart: exact at each, held before the first, on the curve between.
Flight threeKeys() {
    return parsed("10 0.5 0.5 0.5 0 0 0\n40 0.6 2 0.45 0.3 -0.2 1\n100 0.4 5 0.55 0.1 0.4 0\n");
}

TEST(Keyframes, ExactAtTheKeysHeldBeforeTheFirstEndsAtTheLast) {
    const Flight flight = threeKeys();
    EXPECT_EQ(flightLastFrame(flight), 100);
    for (const FlightKey& key : flight.keys) EXPECT_TRUE(samePose(flightPose(flight, key.frame), key.pose)) << key.frame;
    for (const int frame : {1, 5, 9}) EXPECT_TRUE(samePose(flightPose(flight, frame), flight.keys[0].pose)) << frame;
}

TEST(Keyframes, BetweenTheKeysPinnedAsBitPatterns) {
    const Flight flight = threeKeys();
    struct {
        int frame;
        uint32_t bits[5];  // p0 p1 p2 a1 a2
        int32_t singleAxis;
    } cases[] = {
        {11, {0x3f007ef2u, 0x3f069d03u, 0x3eff810eu, 0x3bb76123u, 0xbb827718u}, 0},
        {25, {0x3f100000u, 0x3f880000u, 0x3ef00001u, 0x3e266667u, 0xbe0ccccdu}, 0},
        {41, {0x3f195bc8u, 0x400273e1u, 0x3ee6a438u, 0x3e99f132u, 0xbe4913bdu}, 1},
        {99, {0x3ecdb3dau, 0x409f2ac1u, 0x3f0c9308u, 0x3dd07750u, 0x3eca1970u}, 1},
    };
    for (const auto& c : cases) {
        const CameraPose pose = flightPose(flight, c.frame);
        const float values[5] = {pose.position[0], pose.position[1], pose.position[2], pose.angle[0], pose.angle[1]};
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(bitsOf(values[k]), c.bits[k]) << "frame " << c.frame << " field " << k << ": " << std::hex
                                                    << bitsOf(values[k]) << " (" << values[k] << ")";
        }
        EXPECT_EQ(pose.singleAxis, c.singleAxis) << "frame " << c.frame;
    }
}

TEST(Keyframes, AFlightOfEveryFrameReplaysItsPoses) {
    std::string text;
    float t = 0.0f;
    std::vector<CameraPose> poses;
    for (int frame = 1; frame <= 300; ++frame) {
        t = t + CLOCK_STEP;
        poses.push_back(framePose(t));
        text += flightLine(frame, poses.back());
    }
    const Flight flight = parsed(text);
    for (int frame = 1; frame <= 300; ++frame) {
        ASSERT_TRUE(samePose(flightPose(flight, frame), poses[static_cast<size_t>(frame - 1)])) << frame;
    }
}

FlightInput holding(std::initializer_list<FlightControl> controls) {
    FlightInput input;
    for (const FlightControl c : controls) input.controls |= 1u << c;
    return input;
}

TEST(FreeFlight, ForwardFliesTowardsTheCentreOfTheFrame) {
    const CameraPose start{{0.5f, 0.5f, 0.5f}, {0.4f, -0.3f}, 0};
    FreeFlight flight = startFreeFlight(start);
    const float aspect = 4.0f / 3.0f;
    const CameraPose moved = flyFrame(&flight, holding({FLY_FORWARD}), 1.0f, aspect);
    float centre[3];
    eyeRayDirection(aspect - 1.0f, 0.0f, frameView(start, 4, 3), centre);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(moved.position[k] - start.position[k], centre[k] * FLIGHT_STEP, 1e-7f) << k;
    }
    EXPECT_EQ(moved.angle[0], start.angle[0]);
    // One frame back: where it started, but for the rounding.
    const CameraPose back = flyFrame(&flight, holding({FLY_BACK}), 1.0f, aspect);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(back.position[k], start.position[k], 1e-6f);
}

TEST(FreeFlight, WheelDoublesTheSpeedWithinItsRange) {
    const CameraPose start{{0.5f, 0.5f, 0.5f}, {0.0f, 0.0f}, 0};
    FreeFlight flight = startFreeFlight(start);
    FlightInput faster = holding({FLY_RIGHT});
    faster.wheel = 2;
    const CameraPose moved = flyFrame(&flight, faster, 1.0f, 1.0f);
    // Straight ahead along axis 0 (both angles 0): right is axis 1.
    EXPECT_EQ(moved.position[1], 0.5f + FLIGHT_STEP * 4.0f);
    FlightInput slowest;
    slowest.wheel = -100;
    flyFrame(&flight, slowest, 1.0f, 1.0f);
    EXPECT_EQ(flight.speedLevel, -FASTEST_LEVEL);
}

TEST(FreeFlight, BackspaceGivesTheCameraToTheFixedPathAndAControlTakesItAgain) {
    FreeFlight flight = startFreeFlight(framePose(5.0f));
    flyFrame(&flight, holding({TURN_LEFT, FLY_UP}), 5.1f, 1.5f);
    EXPECT_TRUE(samePose(flyFrame(&flight, holding({GIVE_BACK}), 6.0f, 1.5f), framePose(6.0f)));
    EXPECT_TRUE(samePose(flyFrame(&flight, FlightInput{}, 7.0f, 1.5f), framePose(7.0f)));
    const CameraPose toggled = flyFrame(&flight, holding({TOGGLE_SINGLE_AXIS}), 8.0f, 1.5f);
    EXPECT_EQ(toggled.singleAxis, 1 - framePose(8.0f).singleAxis);
    EXPECT_EQ(bitsOf(toggled.position[1]), bitsOf(framePose(8.0f).position[1]));
    // Steering again: the clock no longer moves the camera.
    EXPECT_TRUE(samePose(flyFrame(&flight, FlightInput{}, 9.0f, 1.5f), toggled));
}

TEST(FreeFlight, ThePoseIsAPureFunctionOfTheInputs) {
    auto fly = [] {
        FreeFlight flight = startFreeFlight(framePose(2.0f));
        std::vector<CameraPose> poses;
        for (int i = 0; i < 400; ++i) {
            FlightInput input = holding({FLY_FORWARD, i % 3 ? TURN_RIGHT : TURN_UP, i % 7 ? FLY_LEFT : FLY_FAST});
            input.dragX = i % 11 - 5;
            input.dragY = i % 5 - 2;
            input.wheel = i % 50 == 0 ? 1 : 0;
            poses.push_back(flyFrame(&flight, input, 2.0f + static_cast<float>(i), 16.0f / 9.0f));
        }
        return poses;
    };
    const std::vector<CameraPose> a = fly(), b = fly();
    for (size_t i = 0; i < a.size(); ++i) ASSERT_TRUE(samePose(a[i], b[i])) << i;
}

}  // namespace
