#include "flight/keyframes.h"

#include <algorithm>

namespace {

// The uniform Catmull-Rom segment from p1 (s = 0) to p2 (s = 1), its neighbours p0 and p3,
// written out so that the order of the operations is fixed.
float catmullRom(float p0, float p1, float p2, float p3, float s) {
    const float s2 = s * s;
    const float s3 = s2 * s;
    const float a = 2.0f * p1;
    const float b = p2 - p0;
    const float c = ((2.0f * p0 - 5.0f * p1) + 4.0f * p2) - p3;
    const float d = ((3.0f * p1 - p0) - 3.0f * p2) + p3;
    return 0.5f * (((a + b * s) + c * s2) + d * s3);
}

}  // namespace

int flightLastFrame(const Flight& flight) { return flight.keys.back().frame; }

CameraPose flightPose(const Flight& flight, int frame) {
    const std::vector<FlightKey>& keys = flight.keys;
    // The first key after frame.
    const auto after = std::upper_bound(keys.begin(), keys.end(), frame,
                                        [](int f, const FlightKey& key) { return f < key.frame; });
    if (after == keys.begin()) return keys.front().pose;
    const size_t i = static_cast<size_t>(after - keys.begin()) - 1;  // the key at or before frame
    if (keys[i].frame == frame || after == keys.end()) return keys[i].pose;
    const CameraPose& p0 = keys[i > 0 ? i - 1 : i].pose;
    const CameraPose& p1 = keys[i].pose;
    const CameraPose& p2 = keys[i + 1].pose;
    const CameraPose& p3 = keys[i + 2 < keys.size() ? i + 2 : i + 1].pose;
    const float s = static_cast<float>(frame - keys[i].frame) / static_cast<float>(keys[i + 1].frame - keys[i].frame);
    CameraPose pose;
    for (int k = 0; k < 3; ++k) pose.position[k] = catmullRom(p0.position[k], p1.position[k], p2.position[k], p3.position[k], s);
    for (int k = 0; k < 2; ++k) pose.angle[k] = catmullRom(p0.angle[k], p1.angle[k], p2.angle[k], p3.angle[k], s);
    pose.singleAxis = p1.singleAxis;
    return pose;
}

CameraPose flightPlaybackPose(void* playback, float) {
    const FlightPlayback* p = static_cast<const FlightPlayback*>(playback);
    return flightPose(*p->flight, *p->frame);
}
