// Where rendered frames go: a still, an image sequence, a Y4M stream or an ffmpeg encode.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/sponge-render/frame_stamp.h"
#include "tools/sponge-render/output_target.h"

class FrameOutput {
public:
    virtual ~FrameOutput() = default;
    // Runs before the first frame is rendered, so that an unwritable target, a missing
    // ffmpeg or too little memory is reported at once rather than after a long render.
    // Creates nothing: a render stopped before its first written frame leaves no trace.
    virtual bool open(std::string* error) = 0;
    // Takes frame number frame (1-based), as rendered; the first call creates the file.
    virtual bool write(int frame, const uint32_t* pixels, std::string* error) = 0;
    // Makes what was written so far complete and puts it under its final name. Also the
    // way out after an interruption: a video then holds the frames written until then.
    virtual bool finish(std::string* error) = 0;
    // After a failure: removes anything partial. Safe to call more than once.
    virtual void abandon() = 0;
};

// Frames firstFrame to lastFrame will be written; a PNG says stamp beside its pixels.
std::unique_ptr<FrameOutput> makeFrameOutput(const OutputTarget& target, int width, int height, int firstFrame,
                                             int lastFrame, const FrameStamp& stamp);

// The ffmpeg arguments that encode raw 0x00RRGGBB frames from standard input into file
// (container and encoder chosen by target, not by file's name, which is a temporary one). A
// stream (a FIFO, a device) cannot be seeked back into, so an mp4 is then written in fragments.
std::vector<std::string> ffmpegArguments(const OutputTarget& target, int width, int height, const std::string& file,
                                         bool stream = false);

// The arguments of a trial encode of one black frame of width x height with target's encoder,
// written nowhere: what ffmpeg would refuse (a size, a missing encoder) it refuses here, before
// the first frame is rendered.
std::vector<std::string> ffmpegTrialArguments(const OutputTarget& target, int width, int height);
