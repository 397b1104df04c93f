// What a written frame depends on, said in the PNG itself: size, trail filter, camera (the
// fixed path or which flight), raw frames, frame number and the program's version. --resume
// reads it back to refuse going on from a frame that another command rendered.
#pragma once

#include <string>

#include "tools/sponge-render/image_file.h"
#include "tools/sponge-render/options.h"

struct FrameStamp {
    std::string size;     // "WxH"
    std::string filter;   // "cross", "quad", "none"
    std::string camera;   // "fixed path", or "flight" and a hash of the flight file's text
    std::string raw;      // "FROM-TO" or "none"
    std::string version;  // the version of sponge-render
};

// The stamp of frames rendered with options.
FrameStamp frameStamp(const RenderOptions& options);

// The PNG text of frame number frame.
ImageText stampText(const FrameStamp& stamp, int frame);

// "" when text is the stamp of frame number frame; else what differs, in a few words.
std::string stampDifference(const ImageText& text, const FrameStamp& stamp, int frame);
