// Command line of sponge-render.
#pragma once

#include <string>

#include "flight/flight_file.h"
#include "render/render_path.h"
#include "render/types.h"
#include "tools/sponge-render/output_target.h"

struct RenderOptions {
    std::string filterName = "cross";
    const TrailFilterVariants* filter = nullptr;  // found by filterName; null for "none"
    int width = 240;
    int height = 180;
    // Number of the last frame rendered; by default 1, with --window no limit (INT32_MAX), with
    // --flight the flight's last frame.
    int frames = 1;
    bool framesGiven = false;
    int from = 1;    // first frame written (and timed by --bench); earlier ones only build the blend
    int rawFrom = 0;  // frames rawFrom..rawTo (1-based) render as if Space were held; 0: none
    int rawTo = 0;
    OutputTarget output;  // kind None: write nothing
    bool quiet = false;   // no progress line (with --window: no frame-rate line)
    bool bench = false;   // write nothing, print one line of timings on standard output
    bool window = false;  // show the frames in a window instead of writing them
    int pace = 60;        // with --window: frames shown per second; 0: as fast as they come
    RenderPath path = RenderPath::Fast;
    std::string flightPath;  // --flight: the camera from this file instead of the fixed path
    Flight flight;           // read from flightPath by bindFlight
    std::string flightText;  // the file's text, which the PNGs identify it by
    std::string recordPath;  // --record: every rendered frame's pose goes to this flight file
    bool explore = false;    // --explore: free flight in the window
    bool resume = false;     // --resume: an image sequence goes on after its last frame on disk
};

enum class ParseResult { Run, Help, Version, Error };

// Parses argv into options. *message receives the help text for Help, and for Error one
// line (no newline) naming the argument; Version asks for the version. A --flight is named, not yet read: see loadFlight.
ParseResult parseOptions(int argc, const char* const* argv, RenderOptions* options, std::string* message);

// After parseOptions, with flightText the text of the file options->flightPath names: the
// flight into options->flight and the last frame checked against it (by default its last
// frame). False with *message, one line naming the flag, the file and the line.
bool bindFlight(const std::string& flightText, RenderOptions* options, std::string* message);

// The keys of free flight, for the help text and the README.
extern const char* const EXPLORE_KEYS;
