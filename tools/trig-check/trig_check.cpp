// sponge-trig-check: the renderer's sine and cosine against MPFR on every argument the
// animation reaches, from the first frame until the clock stops at 524288. Prints how many
// there are, how many differ from the correctly rounded value and how many the renderer
// could not certify, and the same count for the C library's sinf and cosf for comparison.
// Exit status 0 when every result is correct and certain. Takes a few minutes.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "render/correct_trig.h"
#include "render/float_bits.h"
#include "render/frame_step.h"
#include "tests/mpfr_reference.h"

namespace {

// (function, argument) as one sortable number: bit 32 set for the cosine.
constexpr uint64_t COSINE = uint64_t{1} << 32;

}  // namespace

int main() {
    std::vector<uint64_t> pairs;
    int64_t frames = 0;
    float t = 0.0f;
    for (;;) {
        const float next = t + CLOCK_STEP;
        if (next == t) break;
        t = next;
        ++frames;
        const PoseArguments x = poseArguments(t);
        pairs.push_back(COSINE | bitsOf(x.camera0));
        pairs.push_back(bitsOf(x.camera1));
        pairs.push_back(bitsOf(x.camera2));
        pairs.push_back(bitsOf(x.view));
        pairs.push_back(COSINE | bitsOf(x.view));
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    std::printf("%lld frames until the clock stops at %.1f; %zu distinct (function, argument) pairs\n",
                static_cast<long long>(frames), static_cast<double>(t), pairs.size());
    std::fflush(stdout);

    int64_t wrong = 0, uncertain = 0, libraryWrong = 0;
    size_t firstWrong = pairs.size();  // the index of the smallest pair that differs
#pragma omp parallel for schedule(dynamic, 65536) reduction(+ : wrong, uncertain, libraryWrong)
    for (size_t i = 0; i < pairs.size(); ++i) {
        const bool cosine = (pairs[i] & COSINE) != 0;
        const float x = floatOf(static_cast<uint32_t>(pairs[i]));
        const float correct = cosine ? mpfrCos(x) : mpfrSin(x);
        const CertifiedFloat ours = cosine ? certifiedCos(x) : certifiedSin(x);
        const float library = cosine ? std::cos(x) : std::sin(x);
        if (bitsOf(ours.value) != bitsOf(correct)) {
            ++wrong;
#pragma omp critical
            firstWrong = std::min(firstWrong, i);
        }
        if (!ours.certain) ++uncertain;
        if (bitsOf(library) != bitsOf(correct)) ++libraryWrong;
    }
    std::printf("renderer: %lld differ from the correctly rounded value, %lld uncertain\n",
                static_cast<long long>(wrong), static_cast<long long>(uncertain));
    std::printf("C library sinf/cosf, for comparison: %lld differ\n", static_cast<long long>(libraryWrong));
    if (firstWrong < pairs.size()) {
        std::printf("first difference: %s(%a)\n", (pairs[firstWrong] & COSINE) ? "cos" : "sin",
                    static_cast<double>(floatOf(static_cast<uint32_t>(pairs[firstWrong]))));
    }
    return wrong == 0 && uncertain == 0 ? 0 : 1;
}
