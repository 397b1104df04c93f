#include "tools/sponge-render/frame_stamp.h"

#include <cstdint>
#include <cstdio>

namespace {

// FNV-1a, 64 bits: enough to tell two flight files apart.
std::string textHash(const std::string& text) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return hex;
}

struct Field {
    const char* key;
    const char* what;  // for the message
    std::string FrameStamp::*member;
};

const Field FIELDS[] = {
    {"sponge:size", "the size", &FrameStamp::size},       {"sponge:filter", "the trail filter", &FrameStamp::filter},
    {"sponge:camera", "the camera", &FrameStamp::camera}, {"sponge:raw", "the raw frames", &FrameStamp::raw},
    {"sponge:version", "the version", &FrameStamp::version},
};

const std::string* valueOf(const ImageText& text, const std::string& key) {
    for (const auto& [k, v] : text) {
        if (k == key) return &v;
    }
    return nullptr;
}

}  // namespace

FrameStamp frameStamp(const RenderOptions& options) {
    FrameStamp stamp;
    stamp.size = std::to_string(options.width) + "x" + std::to_string(options.height);
    stamp.filter = options.filterName;
    stamp.camera = options.flightPath.empty() ? "fixed path" : "flight " + textHash(options.flightText);
    stamp.raw = options.rawFrom == 0 ? "none" : std::to_string(options.rawFrom) + "-" + std::to_string(options.rawTo);
    stamp.version = SPONGE_VERSION;
    return stamp;
}

ImageText stampText(const FrameStamp& stamp, int frame) {
    ImageText text;
    for (const Field& f : FIELDS) text.emplace_back(f.key, stamp.*f.member);
    text.emplace_back("sponge:frame", std::to_string(frame));
    return text;
}

std::string stampDifference(const ImageText& text, const FrameStamp& stamp, int frame) {
    for (const Field& f : FIELDS) {
        const std::string* value = valueOf(text, f.key);
        if (value == nullptr) return std::string("it does not say ") + f.what + " it was rendered with";
        if (*value != stamp.*f.member) {
            return std::string("it was rendered with ") + f.what + " '" + *value + "', this command's is '" +
                   stamp.*f.member + "'";
        }
    }
    const std::string* number = valueOf(text, "sponge:frame");
    if (number == nullptr || *number != std::to_string(frame)) {
        return "it holds frame " + (number ? *number : std::string("?")) + ", not " + std::to_string(frame);
    }
    return "";
}
