#include "flight/flight_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t FIELDS = 7;
// Longer lines are no flight's: seven fields of a few dozen characters at the most.
constexpr size_t LONGEST_LINE = 1024;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && isBlank(line[at])) ++at;
        const size_t start = at;
        while (at < line.size() && !isBlank(line[at])) ++at;
        if (at > start) fields.push_back(line.substr(start, at - start));
    }
    return fields;
}

// A whole decimal number from 1 to 2147483647.
bool parseFrame(const std::string& text, int* frame) {
    if (text.empty() || text.size() > 10) return false;
    long long n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > 2147483647) return false;
    *frame = static_cast<int>(n);
    return true;
}

enum class FloatRead { Ok, NotANumber, NotFinite };

// A decimal or hexadecimal float, the whole field. Infinities and NaN are refused, and so
// are decimals too large for a float (which strtof turns into an infinity).
FloatRead parseFloat(const std::string& text, float* value) {
    char* end = nullptr;
    const float x = std::strtof(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return FloatRead::NotANumber;
    if (!std::isfinite(x)) return FloatRead::NotFinite;
    *value = x;
    return FloatRead::Ok;
}

const char* const FIELD_NAMES[FIELDS] = {"frame", "p0", "p1", "p2", "a1", "a2", "single"};

}  // namespace

bool parseFlight(const std::string& text, const std::string& name, Flight* flight, std::string* error) {
    Flight read;
    size_t lineNumber = 0;
    size_t at = 0;
    auto fail = [&](const std::string& reason) {
        *error = name + ":" + std::to_string(lineNumber) + ": " + reason;
        return false;
    };
    while (at < text.size()) {
        ++lineNumber;
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNumber == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);  // a byte-order mark
        if (line.size() > LONGEST_LINE) return fail("the line is longer than " + std::to_string(LONGEST_LINE) + " characters");
        const std::vector<std::string> fields = splitFields(line);
        if (fields.empty() || fields[0][0] == '#') continue;
        if (fields.size() < FIELDS) {
            return fail("the line is cut short: " + std::to_string(fields.size()) + " of the 7 fields "
                        "(frame p0 p1 p2 a1 a2 single)");
        }
        if (fields.size() > FIELDS) return fail("unknown field '" + fields[FIELDS] + "' after the 7 fields");
        FlightKey key{};
        if (!parseFrame(fields[0], &key.frame)) {
            return fail("frame: expected a whole decimal number from 1 to 2147483647, got '" + fields[0] + "'");
        }
        float* const values[5] = {&key.pose.position[0], &key.pose.position[1], &key.pose.position[2],
                                  &key.pose.angle[0], &key.pose.angle[1]};
        for (size_t i = 0; i < 5; ++i) {
            switch (parseFloat(fields[i + 1], values[i])) {
                case FloatRead::Ok: break;
                case FloatRead::NotFinite:
                    return fail(std::string(FIELD_NAMES[i + 1]) + ": '" + fields[i + 1] + "' is not a finite number");
                case FloatRead::NotANumber:
                    return fail(std::string(FIELD_NAMES[i + 1]) + ": expected a number, got '" + fields[i + 1] + "'");
            }
        }
        if (fields[6] != "0" && fields[6] != "1") return fail("single: expected 0 or 1, got '" + fields[6] + "'");
        key.pose.singleAxis = fields[6] == "1" ? 1 : 0;
        if (!read.keys.empty() && key.frame <= read.keys.back().frame) {
            return fail("frame " + std::to_string(key.frame) + (key.frame == read.keys.back().frame ? " is repeated" :
                        " comes after frame " + std::to_string(read.keys.back().frame)) + ": frames must increase");
        }
        read.keys.push_back(key);
    }
    if (read.keys.empty()) {
        lineNumber = lineNumber > 0 ? lineNumber : 1;
        return fail("the flight holds no poses");
    }
    *flight = std::move(read);
    return true;
}

std::string flightHeader() { return "# sponge flight: frame p0 p1 p2 a1 a2 single\n"; }

std::string flightLine(int frame, const CameraPose& pose) {
    char line[256];
    std::snprintf(line, sizeof line, "%d %.9g %.9g %.9g %.9g %.9g %d\n", frame, static_cast<double>(pose.position[0]),
                  static_cast<double>(pose.position[1]), static_cast<double>(pose.position[2]),
                  static_cast<double>(pose.angle[0]), static_cast<double>(pose.angle[1]), pose.singleAxis != 0 ? 1 : 0);
    return line;
}
