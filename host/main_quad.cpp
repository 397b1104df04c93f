// sponge-quad: the fly-through with the 2 x 2 down-right blend as its trail.
#include "filters/trail_filters.h"
#include "host/program.h"

int main() { return runSpongeProgram("sponge-quad", trailFilterNamed("quad")); }
