// --record: the pose of every rendered frame as a flight file, written like every other
// output (under a temporary name, renamed when complete; a Ctrl-C keeps the frames done).
#pragma once

#include <string>

#include "render/camera_pose.h"
#include "tools/sponge-render/output_file.h"

class FlightRecord {
public:
    // Checks, before any frame is rendered, that path can be written. Creates nothing.
    bool open(const std::string& path, std::string* error);
    // The pose of frame (1, 2, ... in order); the first one creates the file.
    bool add(int frame, const CameraPose& pose, std::string* error);
    // Puts what was recorded under its name (nothing when no frame was).
    bool finish(std::string* error);
    // After a failure: removes anything partial.
    void abandon();

    // A PoseSource that takes each pose from source (the fixed path when it has none) and
    // records it as frame *frame's. A failure to write is kept in failure for the host to see.
    struct Tap {
        PoseSource source;
        FlightRecord* record;
        const int* frame;
        std::string failure;
    };
    static CameraPose recordedPose(void* tap, float t);

private:
    bool flush(std::string* error);

    std::string path_;
    FileTarget target_;
    OutputFile out_;
    bool created_ = false;
    std::string pending_;
};

// The whole text of the file at path, for --flight: false with *error (the reason in a few
// words) when it cannot be read or is far larger than any flight.
bool readFlightText(const std::string& path, std::string* text, std::string* error);
