#include "tools/sponge-render/options.h"

#include <CLI/CLI.hpp>

#include <cstring>
#include <functional>
#include <string>

#include "filters/trail_filters.h"
#include "flight/keyframes.h"
#include "tools/sponge-render/image_file.h"

namespace {

constexpr int MAX_SIDE = 16384;

// Parses a whole decimal number in [lo, hi], leading zeros allowed; anything else (signs,
// spaces, overflow) fails.
bool parseInt(const std::string& text, int lo, int hi, int* value) {
    const size_t digits = text.find_first_not_of('0');
    const std::string significant = digits == std::string::npos ? "0" : text.substr(digits);
    if (text.empty() || significant.size() > 10) return false;
    long long n = 0;
    for (char ch : significant) {
        if (ch < '0' || ch > '9') return false;
        n = n * 10 + (ch - '0');
    }
    if (n < lo || n > hi) return false;
    *value = static_cast<int>(n);
    return true;
}

// A CLI11 check: a whole decimal number in [lo, hi] (010 is ten, not eight).
std::function<std::string(const std::string&)> decimalIn(int lo, int hi) {
    return [lo, hi](const std::string& text) {
        int n;
        return parseInt(text, lo, hi, &n) ? std::string()
                                          : "expected a whole decimal number from " + std::to_string(lo) + " to " +
                                                std::to_string(hi) + ", got '" + text + "'";
    };
}

// Splits "AxB" / "A-B" at sep into two whole numbers in [lo, hi].
bool parsePair(const std::string& text, char sep, int lo, int hi, int* a, int* b) {
    const size_t at = text.find(sep);
    if (at == std::string::npos) return false;
    return parseInt(text.substr(0, at), lo, hi, a) && parseInt(text.substr(at + 1), lo, hi, b);
}

// --quality, --preset and --lossless only where ffmpeg encodes, and only what its encoder takes.
bool checkEncoderChoice(const OutputTarget& target, bool quality, bool preset, std::string* message) {
    const char* flag = quality ? "--quality" : preset ? "--preset" : target.encoder.lossless ? "--lossless" : nullptr;
    if (flag == nullptr) return true;
    if (target.kind != OutputKind::Encoded) {
        *message = std::string(flag) + ": only a video (.mp4, .mkv or .webm --output) is encoded";
        return false;
    }
    if (target.encoder.lossless) {
        if (target.container != Container::Mkv) {
            *message = "--lossless: an exact video is FFV1 in Matroska: name a .mkv --output";
            return false;
        }
        if (quality || preset) {
            *message = std::string(quality ? "--quality" : "--preset") + ": a lossless video has no quality or preset";
            return false;
        }
    }
    const int most = target.container == Container::Webm ? 63 : 51;
    if (quality && target.encoder.quality > most) {
        *message = "--quality: expected 0 to " + std::to_string(most) + " for " +
                   (most == 63 ? "VP9 (.webm)" : "H.264 (.mp4, .mkv)") + ", got " +
                   std::to_string(target.encoder.quality);
        return false;
    }
    return true;
}

// Raw frames that all lie after the last frame would never be drawn: a mistake to say.
bool checkRawRange(const RenderOptions& options, std::string* message) {
    if (options.rawFrom == 0 || options.rawFrom <= options.frames) return true;
    *message = "--raw: frames " + std::to_string(options.rawFrom) + "-" + std::to_string(options.rawTo) +
               " all lie after the last frame (" + std::to_string(options.frames) + ")";
    return false;
}

}  // namespace

ParseResult parseOptions(int argc, const char* const* argv, RenderOptions* options, std::string* message) {
    CLI::App app{"Renders frames of the Menger sponge fly-through without a window.", "sponge-render"};
    std::string size, raw;
    app.add_option("--filter", options->filterName, "Trail filter: " + trailFilterChoices() + " (default cross)")
        ->check([](const std::string& text) -> std::string {
            const TrailFilterVariants* filter;
            return findTrailFilter(text, &filter) ? std::string()
                                                  : "expected " + trailFilterChoices() + ", got '" + text + "'";
        });
    app.add_option("--size", size, "Frame size WxH, each side 1 to 16384 (default 240x180)")
        ->check([](const std::string& text) -> std::string {
            int w, h;
            return parsePair(text, 'x', 1, MAX_SIDE, &w, &h)
                       ? std::string()
                       : "expected WxH with each side 1 to 16384, got '" + text + "'";
        });
    std::string frames, from;
    app.add_option("--frames", frames, "Number of the last frame rendered, at least 1 (default 1)")
        ->check(decimalIn(1, INT32_MAX));
    app.add_option("--raw", raw, "Frames FROM-TO (1-based, inclusive) render raw, as if Space were held")
        ->check([](const std::string& text) -> std::string {
            int from, to;
            if (!parsePair(text, '-', 1, INT32_MAX, &from, &to))
                return "expected FROM-TO with whole numbers from 1, got '" + text + "'";
            return from <= to ? std::string() : "FROM must not exceed TO in '" + text + "'";
        });
    app.add_option("--from", from,
                    "First frame to write, 1 to --frames (default 1); earlier frames are rendered, "
                    "unwritten, so the blend builds as it would")
        ->check(decimalIn(1, INT32_MAX));
    std::string output;
    CLI::Option* outputOption =
        app.add_option("--output", output,
                       "Write to FILE: .png or .ppm for the last frame, or for every frame with a "
                       "number field (shots/fly-%05d.png); .y4m, .mp4, .mkv or .webm for a 60 fps "
                       "video; - for a Y4M stream on standard output")
            ->check([](const std::string& text) -> std::string {
                OutputTarget target;
                std::string error;
                return parseOutputTarget(text, &target, &error) ? std::string() : error;
            });
    std::string quality, preset;
    app.add_option("--quality", quality,
                   "With a video: the encoder's constant quality (CRF), 0 best to 51 for H.264 (.mp4, .mkv; "
                   "default 18) or 63 for VP9 (.webm; default 30)")
        ->check(decimalIn(0, 63));
    app.add_option("--preset", preset,
                   "With a video: how hard the encoder works, x264's names from ultrafast to placebo (default "
                   "medium); for VP9 they pick libvpx's speed alike")
        ->check(CLI::IsMember(std::vector<std::string>(PRESETS, PRESETS + PRESET_COUNT)));
    app.add_flag("--lossless", options->output.encoder.lossless,
                     "With a .mkv video: FFV1 in RGB, whose decoded frames are the rendered ones exactly (large)");
    app.add_flag("--quiet", options->quiet, "No progress line on standard error (with --window: no frame-rate line)");
    CLI::Option* benchOption =
        app.add_flag("--bench", options->bench,
                     "Render without writing anything and print one line of timings on standard output")
            ->excludes(outputOption);
    app.add_flag("--window", options->window,
                 "Show the frames in a window (the largest whole multiple of the size that fits 80 % of the "
                 "screen) instead of writing them; Escape or closing ends it, Space held shows raw frames, F11 "
                 "toggles fullscreen, F12 writes the frame on screen to sponge-NNNNNNNN.png; --frames then defaults "
                 "to no limit")
        ->excludes(outputOption)
        ->excludes(benchOption);
    std::string pace;
    app.add_option("--pace", pace,
                   "With --window: frames per second, 0 for as fast as they come (default 60, one clock step "
                   "per frame: the intended pace)")
        ->check(decimalIn(0, 1000));
    std::string path = "fast";
    app.add_option("--path", path, "Code path: fast, or plain for the reference (default fast)")
        ->check(CLI::IsMember({"fast", "plain"}));
    CLI::Option* flightOption =
        app.add_option("--flight", options->flightPath,
                       "Fly the camera as the flight file FILE says (frame p0 p1 p2 a1 a2 single per line; frames "
                       "it leaves out lie on a smooth curve through those it gives) instead of the fixed path; "
                       "--frames then defaults to its last frame and may not pass it");
    app.add_option("--record", options->recordPath,
                   "Write the camera pose of every rendered frame, from the first, to the flight file FILE "
                   "(--flight renders it again, exactly)");
    app.add_flag("--resume", options->resume,
                 "With an image sequence: go on after the last frame already on disk (whose pixels and "
                 "settings it reads), as if the render had never stopped");
    app.add_flag("--explore", options->explore, std::string("With --window: free flight. ") + EXPLORE_KEYS)
        ->excludes(flightOption);

    bool version = false;  // answered before parsing, like --help; here for the help text
    app.add_flag("--version", version, "Print the version of sponge-render (and the commit it was built from) and exit");

    // Help and the version wherever they are asked for, also after a mistake.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            *message = app.help();
            return ParseResult::Help;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) return ParseResult::Version;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        *message = app.help();
        return ParseResult::Help;
    } catch (const CLI::ParseError& e) {
        *message = e.what();
        return ParseResult::Error;
    }
    options->framesGiven = !frames.empty();
    if (!frames.empty()) parseInt(frames, 1, INT32_MAX, &options->frames);
    if (frames.empty() && options->window) options->frames = INT32_MAX;
    if (options->resume && !options->recordPath.empty()) {
        *message = "--resume: --record would miss the frames rendered before";
        return ParseResult::Error;
    }
    if (options->explore && !options->window) {
        *message = "--explore: free flight needs a window (--window)";
        return ParseResult::Error;
    }
    if (!from.empty()) parseInt(from, 1, INT32_MAX, &options->from);
    if (!pace.empty()) parseInt(pace, 0, 1000, &options->pace);
    if (!pace.empty() && !options->window) {
        *message = "--pace: only a window (--window) is paced";
        return ParseResult::Error;
    }

    if (!raw.empty()) parsePair(raw, '-', 1, INT32_MAX, &options->rawFrom, &options->rawTo);
    // With a flight, --frames defaults to its last frame, known once it is read.
    const bool lastFrameKnown = options->flightPath.empty() || options->framesGiven;
    if (lastFrameKnown && !checkRawRange(*options, message)) return ParseResult::Error;
    if (lastFrameKnown && options->from > options->frames) {
        *message = "--from: " + std::to_string(options->from) + " is after the last frame (--frames " +
                   std::to_string(options->frames) + ")";
        return ParseResult::Error;
    }
    if (!output.empty()) {
        std::string error;
        const bool lossless = options->output.encoder.lossless;
        parseOutputTarget(output, &options->output, &error);
        options->output.encoder.lossless = lossless;
    }
    if (options->resume && options->output.kind != OutputKind::Sequence) {
        *message = "--resume: only an image sequence (a %d in the --output file name) goes on where it stopped";
        return ParseResult::Error;
    }
    if (!quality.empty()) parseInt(quality, 0, 63, &options->output.encoder.quality);
    options->output.encoder.preset = preset;
    if (!checkEncoderChoice(options->output, !quality.empty(), !preset.empty(), message)) return ParseResult::Error;
    if (!size.empty()) parsePair(size, 'x', 1, MAX_SIDE, &options->width, &options->height);
    options->path = path == "plain" ? RenderPath::Plain : RenderPath::Fast;
    findTrailFilter(options->filterName, &options->filter);
    return ParseResult::Run;
}

bool bindFlight(const std::string& flightText, RenderOptions* options, std::string* message) {
    std::string error;
    if (!parseFlight(flightText, options->flightPath, &options->flight, &error)) {
        *message = "--flight: " + error;
        return false;
    }
    options->flightText = flightText;
    const int last = flightLastFrame(options->flight);
    if (!options->framesGiven) {
        options->frames = last;
    } else if (options->frames > last) {
        *message = "--frames: " + std::to_string(options->frames) + " is after the last frame of the flight (" +
                   std::to_string(last) + " in " + options->flightPath + ")";
        return false;
    }
    if (options->from > options->frames) {
        *message = "--from: " + std::to_string(options->from) + " is after the last frame (" +
                   std::to_string(options->frames) + ", the last of " + options->flightPath + ")";
        return false;
    }
    return checkRawRange(*options, message);
}

const char* const EXPLORE_KEYS =
    "W and S fly forward and back, A and D to the sides, Q and E down and up; the arrow keys and a mouse drag "
    "turn the view; Shift flies four times faster, the mouse wheel doubles or halves the speed; X toggles the "
    "single-axis phase; Backspace gives the camera back to the fixed path, and any of the others takes it again";
