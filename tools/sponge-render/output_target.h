// What --output asks for: nothing, a still, an image sequence or a video, judged by the
// path's extension and by a frame-number field in its file name.
#pragma once

#include <string>

#include "tools/sponge-render/image_file.h"

enum class OutputKind { None, Still, Sequence, Y4m, Encoded };
enum class Container { Mp4, Mkv, Webm };

// How ffmpeg encodes: H.264 (mp4, mkv) or VP9 (webm) at a quality and a speed, or, lossless,
// FFV1 in RGB (mkv only), whose decoded frames are the rendered ones exactly.
struct EncoderChoice {
    int quality = -1;    // the CRF; -1: 18 for H.264, 30 for VP9
    std::string preset;  // x264's names (ultrafast ... placebo), also for VP9; "": medium
    bool lossless = false;
};

// x264's preset names, fastest first.
extern const char* const PRESETS[];
extern const int PRESET_COUNT;
struct OutputTarget {
    OutputKind kind = OutputKind::None;
    std::string path;  // with "%%" already turned into "%"; "-" is standard output (Y4m only)
    ImageFormat imageFormat = ImageFormat::Png;  // Still and Sequence
    Container container = Container::Mp4;        // Encoded
    EncoderChoice encoder;                       // Encoded
    // Sequence: file names are prefix + frame number + suffix, the number at least
    // numberWidth characters wide, padded with zeros or spaces as printf would.
    std::string prefix, suffix;
    int numberWidth = 0;
    bool zeroPad = false;

    bool toStandardOutput() const { return path == "-"; }
};

// Reads an --output value. The only printf conversions understood are %d with an
// optional 0 flag and width (%d, %5d, %05d), at most once and only in the file name,
// and %% for a literal percent sign. False with *error on anything else.
bool parseOutputTarget(const std::string& text, OutputTarget* target, std::string* error);

// The file a sequence writes frame number frame to.
std::string sequenceFileName(const OutputTarget& target, int frame);

// What a summary says became of frames first..last written to target: "wrote ...", or
// "nothing written" when last < first.
std::string outcomeText(const OutputTarget& target, int first, int last);
