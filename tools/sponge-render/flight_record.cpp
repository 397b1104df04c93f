#include "tools/sponge-render/flight_record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "flight/flight_file.h"
#include "render/frame_step.h"
#include "tools/sponge-render/ffmpeg_process.h"
#include "tools/sponge-render/whole_file.h"

namespace {

// Lines are gathered and written a block at a time.
constexpr size_t BLOCK = 1 << 16;

// A flight of every frame of a day at 60 frames a second is about 300 MB; no flight file needs
// more than that, and a device or a huge file named by mistake is refused rather than read.
constexpr long long LARGEST_FLIGHT = 1LL << 30;

std::string quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

bool FlightRecord::open(const std::string& path, std::string* error) {
    path_ = path;
    std::string reason;
    if (prepareFileTarget(path, &target_, &reason)) return true;
    *error = "--record: cannot write " + quoted(path) + ": " + reason;
    return false;
}

bool FlightRecord::add(int frame, const CameraPose& pose, std::string* error) {
    if (!created_) {
        std::string reason;
        if (!out_.create(target_, &reason)) {
            *error = "--record: cannot write " + quoted(path_) + ": " + reason;
            return false;
        }
        created_ = true;
        pending_ = flightHeader();
    }
    pending_ += flightLine(frame, pose);
    return pending_.size() < BLOCK || flush(error);
}

bool FlightRecord::flush(std::string* error) {
    int err = 0;
    if (writeAll(out_.fd(), pending_.data(), pending_.size(), &err)) {
        pending_.clear();
        return true;
    }
    *error = "--record: cannot write " + quoted(path_) + ": " + std::strerror(err);
    return false;
}

bool FlightRecord::finish(std::string* error) {
    if (!created_) return true;
    if (!flush(error)) {
        abandon();
        return false;
    }
    std::string reason;
    if (out_.commit(&reason)) return true;
    *error = "--record: cannot write " + quoted(path_) + ": " + reason;
    return false;
}

void FlightRecord::abandon() { out_.discard(); }

CameraPose FlightRecord::recordedPose(void* context, float t) {
    Tap* tap = static_cast<Tap*>(context);
    const CameraPose pose = tap->source.poseAt ? tap->source.poseAt(tap->source.context, t) : framePose(t);
    if (tap->failure.empty()) tap->record->add(*tap->frame, pose, &tap->failure);
    return pose;
}

bool readFlightText(const std::string& path, std::string* text, std::string* error) {
    return readWholeFile(path, LARGEST_FLIGHT, text, error);
}
