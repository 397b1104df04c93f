#include "filters/trail_filters.h"

#include <cstdio>
#include <cstdlib>

#include "filters/cross/cross_smear.h"
#include "filters/quad/quad_blend.h"

const NamedTrailFilter TRAIL_FILTERS[] = {
    {"cross", {crossSmearFilter, crossSmearFilterFast}},
    {"quad", {quadBlendFilter, quadBlendFilterFast}},
};
const size_t TRAIL_FILTER_COUNT = sizeof TRAIL_FILTERS / sizeof TRAIL_FILTERS[0];

bool findTrailFilter(const std::string& name, const TrailFilterVariants** filter) {
    if (name == NO_TRAIL_FILTER) {
        *filter = nullptr;
        return true;
    }
    for (size_t i = 0; i < TRAIL_FILTER_COUNT; ++i) {
        if (name == TRAIL_FILTERS[i].name) {
            *filter = &TRAIL_FILTERS[i].variants;
            return true;
        }
    }
    return false;
}

const TrailFilterVariants& trailFilterNamed(const char* name) {
    const TrailFilterVariants* filter = nullptr;
    if (!findTrailFilter(name, &filter) || filter == nullptr) {
        std::fprintf(stderr, "no trail filter is called '%s'\n", name);
        std::abort();
    }
    return *filter;
}

std::string trailFilterChoices() {
    std::string text;
    for (size_t i = 0; i < TRAIL_FILTER_COUNT; ++i) text += std::string(TRAIL_FILTERS[i].name) + ", ";
    // "a, b, " -> "a, b or none"
    text.resize(text.size() - 2);
    return text + " or " + NO_TRAIL_FILTER;
}
