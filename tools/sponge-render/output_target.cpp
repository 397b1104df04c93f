#include "tools/sponge-render/output_target.h"

#include <algorithm>
#include <cctype>
#include <cstring>

const char* const PRESETS[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                               "medium",    "slow",      "slower",   "veryslow", "placebo"};
const int PRESET_COUNT = sizeof PRESETS / sizeof PRESETS[0];

namespace {

// Wider fields only make file names no tool would want; printf's own limit is far beyond.
constexpr int MAX_NUMBER_WIDTH = 12;

bool endsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    return std::equal(s.end() - n, s.end(), suffix,
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

}  // namespace

bool parseOutputTarget(const std::string& text, OutputTarget* target, std::string* error) {
    OutputTarget t;
    if (text == "-") {
        t.kind = OutputKind::Y4m;
        t.path = text;
        *target = t;
        return true;
    }

    // Split around the one %d field, unescaping %% on the way. The user's text never
    // reaches printf itself, so no conversion can read arguments that are not there.
    std::string plain;
    bool hasField = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            plain += text[i];
            continue;
        }
        size_t j = i + 1;
        if (j < text.size() && text[j] == '%') {
            plain += '%';
            i = j;
            continue;
        }
        bool zero = false;
        if (j < text.size() && text[j] == '0') {
            zero = true;
            ++j;
        }
        int width = 0;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9' && width <= MAX_NUMBER_WIDTH) {
            width = width * 10 + (text[j] - '0');
            ++j;
        }
        if (j >= text.size() || text[j] != 'd' || width > MAX_NUMBER_WIDTH) {
            *error = "'" + text + "': the frame number field must be %d, %Nd or %0Nd (N up to 12); "
                     "write %% for a percent sign";
            return false;
        }
        if (hasField) {
            *error = "'" + text + "' has more than one frame number field";
            return false;
        }
        hasField = true;
        t.prefix = plain;
        plain.clear();
        t.zeroPad = zero;
        t.numberWidth = width;
        i = j;
    }
    if (hasField) {
        t.suffix = plain;
        if (t.suffix.find('/') != std::string::npos) {
            *error = "'" + text + "': the frame number field belongs in the file name, not a folder";
            return false;
        }
        plain = t.prefix + "%d" + t.suffix;
    }
    t.path = plain;

    if (imageFormatFor(t.path, &t.imageFormat)) {
        t.kind = hasField ? OutputKind::Sequence : OutputKind::Still;
    } else if (endsWith(t.path, ".y4m")) {
        t.kind = OutputKind::Y4m;
    } else if (endsWith(t.path, ".mp4") || endsWith(t.path, ".mkv") || endsWith(t.path, ".webm")) {
        t.kind = OutputKind::Encoded;
        t.container = endsWith(t.path, ".mp4") ? Container::Mp4
                      : endsWith(t.path, ".mkv") ? Container::Mkv
                                                 : Container::Webm;
    } else {
        *error = "'" + text + "' must end in .png, .ppm, .y4m, .mp4, .mkv or .webm, or be - for "
                 "a Y4M stream on standard output";
        return false;
    }
    if (hasField && t.kind != OutputKind::Sequence) {
        *error = "'" + text + "': a frame number field makes an image sequence, which needs .png or .ppm";
        return false;
    }
    if (hasField) t.path = text;  // for messages; the files are named by sequenceFileName
    *target = t;
    return true;
}

std::string sequenceFileName(const OutputTarget& target, int frame) {
    std::string number = std::to_string(frame);
    if (static_cast<int>(number.size()) < target.numberWidth) {
        number.insert(0, target.numberWidth - number.size(), target.zeroPad ? '0' : ' ');
    }
    return target.prefix + number + target.suffix;
}

std::string outcomeText(const OutputTarget& target, int first, int last) {
    const std::string name = target.toStandardOutput() ? std::string("standard output") : target.path;
    if (target.kind == OutputKind::None) return "";
    if (last < first) return "nothing written";
    switch (target.kind) {
        case OutputKind::None: return "";
        case OutputKind::Still: return "wrote " + name;
        case OutputKind::Sequence:
            return first == last ? "wrote " + sequenceFileName(target, first)
                                 : "wrote " + sequenceFileName(target, first) + " to " +
                                       sequenceFileName(target, last);
        case OutputKind::Y4m:
        case OutputKind::Encoded:
            return "wrote frames " + std::to_string(first) + "-" + std::to_string(last) + " to " + name;
    }
    return "";
}
