// sponge-cross: the fly-through with the five-point cross smear as its trail.
#include "filters/trail_filters.h"
#include "host/program.h"

int main() { return runSpongeProgram("sponge-cross", trailFilterNamed("cross")); }
