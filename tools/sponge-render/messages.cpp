#include "tools/sponge-render/messages.h"

#include <cstdio>

std::string printableText(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

void printError(const std::string& message) {
    std::fprintf(stderr, "sponge-render: %s\n", printableText(message).c_str());
    std::fflush(stderr);
}

void printNotice(const std::string& message) { printError(message); }
