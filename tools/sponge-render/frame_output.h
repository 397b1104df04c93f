// Where rendered frames go: a still, an image sequence, a Y4M stream or an ffmpeg encode.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// firstFrame is the number of the first frame that will be written.
std::unique_ptr<FrameOutput> makeFrameOutput(const OutputTarget& target, int width, int height, int firstFrame);

// The ffmpeg arguments that encode raw 0x00RRGGBB frames from standard input into file
// (container chosen by target, not by file's name, which is a temporary one). A stream
// (a FIFO, a device) cannot be seeked back into, so an mp4 is then written in fragments.
std::vector<std::string> ffmpegArguments(Container container, int width, int height, const std::string& file,
                                         bool stream = false);
