#include "tools/sponge-render/frame_output.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "tools/sponge-render/ffmpeg_process.h"
#include "tools/sponge-render/image_file.h"
#include "tools/sponge-render/messages.h"
#include "tools/sponge-render/output_file.h"
#include "tools/sponge-render/y4m.h"

namespace {

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// A path as ffmpeg must be given it: ffmpeg reads "name:..." as a protocol (a folder called
// 2024-06-01T12:30, or file:x), so the path goes absolute behind the file protocol's own name.
std::string ffmpegFileName(const std::string& path) {
    if (path.empty() || path[0] == '/') return "file:" + path;
    char cwd[PATH_MAX];
    return std::string("file:") + (getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + path;
}

// One image file per frame, each written whole through its own temporary file; with a
// single still only the last frame ever reaches write.
class ImageOutput : public FrameOutput {
public:
    ImageOutput(const OutputTarget& target, int width, int height, int firstFrame, int lastFrame,
                const FrameStamp& stamp)
        : target_(target), width_(width), height_(height), firstFrame_(firstFrame), lastFrame_(lastFrame),
          stamp_(stamp) {}

    // The first file and the last: a later number is a longer name, which may be too long.
    bool open(std::string* error) override {
        FileTarget file;
        return prepare(firstFrame_, &file, error) && prepare(lastFrame_, &file, error);
    }

    bool write(int frame, const uint32_t* pixels, std::string* error) override {
        FileTarget file;
        if (!prepare(frame, &file, error)) return false;
        std::string reason;
        if (writeImageFile(file, target_.imageFormat, pixels, width_, height_, &reason, stampText(stamp_, frame))) {
            return true;
        }
        *error = "cannot write " + quoted(fileFor(frame)) + ": " + reason;
        return false;
    }

    bool finish(std::string*) override { return true; }
    void abandon() override {}

private:
    std::string fileFor(int frame) const {
        return target_.kind == OutputKind::Sequence ? sequenceFileName(target_, frame) : target_.path;
    }

    bool prepare(int frame, FileTarget* file, std::string* error) const {
        std::string reason;
        if (prepareFileTarget(fileFor(frame), file, &reason)) return true;
        *error = "cannot write " + quoted(fileFor(frame)) + ": " + reason;
        return false;
    }

    OutputTarget target_;
    int width_, height_;
    int firstFrame_, lastFrame_;
    FrameStamp stamp_;
};

// YUV4MPEG2 to a file (through a temporary one), a FIFO or standard output.
class Y4mOutput : public FrameOutput {
public:
    Y4mOutput(const OutputTarget& target, int width, int height)
        : target_(target), width_(width), height_(height) {}

    bool open(std::string* error) override {
        if (target_.toStandardOutput()) {
            if (isatty(1)) {
                *error = "standard output is a terminal; pipe the Y4M stream into a program or name a file";
                return false;
            }
        } else {
            std::string reason;
            if (!prepareFileTarget(target_.path, &file_, &reason)) {
                *error = "cannot write " + quoted(target_.path) + ": " + reason;
                return false;
            }
        }
        // The one buffer a frame is converted in, had before any frame is rendered.
        try {
            frame_.reserve(y4mFrameBytes(width_, height_));
        } catch (const std::bad_alloc&) {
            *error = "not enough memory for the Y4M frame of a " + std::to_string(width_) + "x" +
                     std::to_string(height_) + " render";
            return false;
        }
        return true;
    }

    bool write(int, const uint32_t* pixels, std::string* error) override {
        if (fd_ < 0) {
            if (target_.toStandardOutput()) {
                fd_ = 1;
            } else {
                std::string reason;
                if (!out_.create(file_, &reason)) {
                    *error = "cannot write " + quoted(target_.path) + ": " + reason;
                    return false;
                }
                fd_ = out_.fd();
            }
            const std::string header = y4mHeader(width_, height_);
            if (!put(header.data(), header.size(), error)) return false;
        }
        frame_.clear();
        appendY4mFrame(pixels, width_, height_, &frame_);
        return put(frame_.data(), frame_.size(), error);
    }

    bool finish(std::string* error) override {
        if (target_.toStandardOutput() || fd_ < 0) return true;
        fd_ = -1;
        std::string reason;
        if (out_.commit(&reason)) return true;
        *error = "cannot write " + quoted(target_.path) + ": " + reason;
        return false;
    }

    void abandon() override {
        std::string leftover;
        if (!target_.toStandardOutput() && !out_.discard(&leftover)) printError(leftover);
        fd_ = -1;
    }

private:
    bool put(const void* data, size_t bytes, std::string* error) {
        int err = 0;
        if (writeAll(fd_, data, bytes, &err)) return true;
        *error = (target_.toStandardOutput() ? std::string("cannot write to standard output")
                                             : "cannot write " + quoted(target_.path)) +
                 ": " + std::strerror(err);
        return false;
    }

    OutputTarget target_;
    int width_, height_;
    FileTarget file_;
    OutputFile out_;
    int fd_ = -1;  // -1 until the first frame
    std::vector<unsigned char> frame_;
};

// H.264 or VP9 by ffmpeg, which writes a temporary file renamed once it has exited well
// (or a FIFO or device directly).
class EncodedOutput : public FrameOutput {
public:
    EncodedOutput(const OutputTarget& target, int width, int height)
        : target_(target), width_(width), height_(height) {}
    ~EncodedOutput() override { abandon(); }

    bool open(std::string* error) override {
        program_ = findFfmpeg();
        if (program_.empty()) {
            *error = "cannot encode " + quoted(target_.path) +
                     ": ffmpeg was not found on PATH (install the Debian package ffmpeg, or write "
                     ".y4m, which needs no ffmpeg)";
            return false;
        }
        std::string reason;
        if (!prepareFileTarget(target_.path, &file_, &reason)) {
            *error = "cannot write " + quoted(target_.path) + ": " + reason;
            return false;
        }
        // ffmpeg must run, have the encoder and take the size, or a long render would fail only
        // at its first frame.
        if (!runFfmpeg(program_, ffmpegTrialArguments(target_, width_, height_), &reason)) {
            *error = "cannot encode " + quoted(target_.path) + ": " + reason;
            return false;
        }
        return true;
    }

    bool write(int, const uint32_t* pixels, std::string* error) override {
        if (ffmpeg_.pid < 0 && !start(error)) return false;
        // bgr0 is exactly the 0x00RRGGBB words in little-endian memory, so the frame goes as is.
        const size_t bytes = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
        int err = 0;
        if (writeAll(ffmpeg_.input, pixels, bytes, &err)) return true;
        // ffmpeg has stopped reading; its exit status and messages say why.
        std::string reason;
        if (finishFfmpeg(&ffmpeg_, &reason)) reason = std::string("ffmpeg stopped reading: ") + std::strerror(err);
        *error = "cannot encode " + quoted(target_.path) + ": " + reason;
        abandon();
        return false;
    }

    bool finish(std::string* error) override {
        if (ffmpeg_.pid < 0) return true;  // nothing was written
        std::string reason;
        if (!finishFfmpeg(&ffmpeg_, &reason)) {
            *error = "cannot encode " + quoted(target_.path) + ": " + reason;
            abandon();
            return false;
        }
        if (!out_.commit(&reason)) {
            *error = "cannot write " + quoted(target_.path) + ": " + reason;
            return false;
        }
        return true;
    }

    void abandon() override {
        if (ffmpeg_.pid > 0) {
            // Nothing more is coming, and what ffmpeg would finish is about to be removed.
            kill(ffmpeg_.pid, SIGKILL);
            std::string ignored;
            finishFfmpeg(&ffmpeg_, &ignored);
        }
        std::string leftover;
        if (!out_.discard(&leftover)) printError(leftover);
    }

private:
    bool start(std::string* error) {
        std::string reason;
        std::string written = file_.path;
        if (!file_.stream) {
            if (!out_.create(file_, &reason)) {
                *error = "cannot write " + quoted(target_.path) + ": " + reason;
                return false;
            }
            out_.closeDescriptor();  // ffmpeg writes it by name
            written = out_.writtenPath();
        }
        if (!startFfmpeg(program_, ffmpegArguments(target_, width_, height_, ffmpegFileName(written), file_.stream),
                         &ffmpeg_, &reason)) {
            *error = "cannot encode " + quoted(target_.path) + ": " + reason;
            abandon();
            return false;
        }
        return true;
    }

    OutputTarget target_;
    int width_, height_;
    std::string program_;
    FileTarget file_;
    OutputFile out_;
    FfmpegProcess ffmpeg_;
};

class NoOutput : public FrameOutput {
public:
    bool open(std::string*) override { return true; }
    bool write(int, const uint32_t*, std::string*) override { return true; }
    bool finish(std::string*) override { return true; }
    void abandon() override {}
};

}  // namespace

namespace {

// The x264 preset's counterpart for libvpx's VP9: its deadline and speed.
void vp9Speed(const std::string& preset, std::vector<std::string>* args) {
    static const char* const SPEED[] = {"8", "7", "6", "5", "5", "4", "3", "2", "1", "0"};
    int at = 5;  // medium
    for (int i = 0; i < PRESET_COUNT; ++i) {
        if (preset == PRESETS[i]) at = i;
    }
    const char* deadline = at <= 2 ? "realtime" : at == PRESET_COUNT - 1 ? "best" : "good";
    args->insert(args->end(), {"-deadline", deadline, "-cpu-used", SPEED[at]});
}

// From the filters on: conversion, encoder, container.
void encoding(const OutputTarget& target, bool stream, std::vector<std::string>* args) {
    const EncoderChoice& e = target.encoder;
    if (e.lossless) {
        // FFV1 keeps the 0x00RRGGBB words as they are: no conversion to YUV, no rounding.
        args->insert(args->end(), {"-c:v", "ffv1", "-level", "3", "-pix_fmt", "bgr0", "-f", "matroska"});
        return;
    }
    // 4:2:0 needs even sides: an odd one gets a black line. The matrix, range, primaries and
    // transfer are set, not left to defaults, so the encode matches the Y4M output's colours
    // and a player knows it.
    args->insert(args->end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2,scale=out_color_matrix=bt601:out_range=tv,"
                                      "format=yuv420p",
                               "-pix_fmt", "yuv420p", "-colorspace", "smpte170m", "-color_range", "tv",
                               "-color_primaries", "smpte170m", "-color_trc", "smpte170m"});
    if (target.container == Container::Webm) {
        const std::string crf = std::to_string(e.quality >= 0 ? e.quality : 30);
        args->insert(args->end(), {"-c:v", "libvpx-vp9", "-crf", crf, "-b:v", "0", "-row-mt", "1"});
        vp9Speed(e.preset, args);
        args->insert(args->end(), {"-f", "webm"});
        return;
    }
    const std::string crf = std::to_string(e.quality >= 0 ? e.quality : 18);
    args->insert(args->end(), {"-c:v", "libx264", "-preset", e.preset.empty() ? "medium" : e.preset, "-crf", crf});
    if (target.container == Container::Mp4) {
        // The index goes at the front, so a shared file starts playing before it has all
        // arrived; a stream gets an index with every fragment instead.
        args->insert(args->end(), {"-movflags", stream ? "frag_keyframe+empty_moov" : "+faststart", "-f", "mp4"});
    } else {
        args->insert(args->end(), {"-f", "matroska"});
    }
}

}  // namespace

std::vector<std::string> ffmpegArguments(const OutputTarget& target, int width, int height, const std::string& file,
                                         bool stream) {
    std::vector<std::string> args = {"-hide_banner", "-nostdin", "-loglevel", "error",
                                     "-f", "rawvideo", "-pix_fmt", "bgr0",
                                     "-video_size", std::to_string(width) + "x" + std::to_string(height),
                                     "-framerate", "60", "-i", "pipe:0", "-an"};
    encoding(target, stream, &args);
    args.insert(args.end(), {"-y", file});
    return args;
}

std::vector<std::string> ffmpegTrialArguments(const OutputTarget& target, int width, int height) {
    std::vector<std::string> args = {"-hide_banner", "-nostdin", "-loglevel", "error", "-f", "lavfi",
                                     "-i", "color=c=black:s=" + std::to_string(width) + "x" + std::to_string(height) +
                                               ":r=60,format=bgr0",
                                     "-frames:v", "1", "-an"};
    encoding(target, false, &args);
    // Encoded, then dropped: the container's own checks are the only ones left out.
    args.resize(args.size() - 2);  // "-f" and the container
    args.insert(args.end(), {"-f", "null", "-"});
    return args;
}

std::unique_ptr<FrameOutput> makeFrameOutput(const OutputTarget& target, int width, int height, int firstFrame,
                                             int lastFrame, const FrameStamp& stamp) {
    switch (target.kind) {
        case OutputKind::Still:
        case OutputKind::Sequence:
            return std::make_unique<ImageOutput>(target, width, height, firstFrame, lastFrame, stamp);
        case OutputKind::Y4m: return std::make_unique<Y4mOutput>(target, width, height);
        case OutputKind::Encoded: return std::make_unique<EncodedOutput>(target, width, height);
        case OutputKind::None: break;
    }
    return std::make_unique<NoOutput>();
}
