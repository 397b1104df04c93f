// sponge-cross: the fly-through with the five-point cross smear as its trail.
#include "filters/cross/cross_smear.h"
#include "host/program.h"

int main() { return runSpongeProgram("sponge-cross", CROSS_SMEAR_FILTER); }
