// Every trail filter, each listed once: its name, its reference routine and its fast variant.
// Programs, options, help texts, the browser host, the bench and the tests all take the
// filters from here.
#pragma once

#include <cstddef>
#include <string>

#include "render/types.h"

struct NamedTrailFilter {
    const char* name;
    TrailFilterVariants variants;  // reference routine (plain path), fast variant (fast path)
};

extern const NamedTrailFilter TRAIL_FILTERS[];
extern const size_t TRAIL_FILTER_COUNT;

// The name that asks for no trail filter at all.
constexpr const char* NO_TRAIL_FILTER = "none";

// The filter called name, null for NO_TRAIL_FILTER. False when there is no such choice.
bool findTrailFilter(const std::string& name, const TrailFilterVariants** filter);

// The filter called name; it must exist (for programs that bind one of their own).
const TrailFilterVariants& trailFilterNamed(const char* name);

// The choices in words, "cross, quad or none", for help texts and messages.
std::string trailFilterChoices();
