// The argument is reduced exactly with integer arithmetic on the bits of 2/pi, the sine or
// cosine of the reduced argument summed as a Taylor series in double-double arithmetic
// (about 106 bits, relative error below 2^-97 all told), and that sum rounded to float by
// comparing it with the rounding boundary next to it.
//
// Every operation is an IEEE double operation or an integer one; no library function is
// called. The error-free transformations below hold with or without fused multiply-adds,
// but the error bounds are stated for separately rounded operations, which is how the
// project compiles (-ffp-contract=off); the tests check the results against MPFR.
#include "render/correct_trig.h"

#include <cstdint>
#include <cstring>

#include "render/float_bits.h"

namespace {

// 2/pi in binary, 32 bits a word: word i holds bits 32i + 1 to 32i + 32 after the binary
// point. The largest floats need the first 288 bits (see reduce). A wrong word shows in
// the tests, which compare sines and cosines across the whole float range with MPFR's.
constexpr uint32_t TWO_OVER_PI[9] = {0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599,
                                     0x3C439041, 0xFE5163AB, 0xDEBBC561, 0xB7246E3A};

// An unevaluated sum hi + lo of two doubles, |lo| <= ulp(hi) / 2.
struct Dd {
    double hi;
    double lo;
};

// pi/2 to 107 bits: the double nearest to it and the double nearest to the rest.
constexpr Dd PI_OVER_2 = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};

// Exactly a + b = s + e, whatever the magnitudes (Knuth).
Dd twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// Exactly a + b = s + e, for |a| >= |b| or a == 0 (Dekker).
Dd fastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a as two halves of at most 26 significant bits, whose products are exact (Veltkamp).
Dd split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// Exactly a * b = p + e (Dekker): each partial product of the halves is exact.
Dd twoProduct(double a, double b) {
    const double p = a * b;
    const Dd x = split(a);
    const Dd y = split(b);
    return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

// Relative error at most 3 x 2^-106 (Joldes, Muller and Popescu, "Tight and rigorous error
// bounds for basic building blocks of double-word arithmetic", 2017: AccurateDWPlusDW),
// also when a and b cancel.
Dd add(Dd a, Dd b) {
    const Dd s = twoSum(a.hi, b.hi);
    const Dd t = twoSum(a.lo, b.lo);
    const Dd v = fastTwoSum(s.hi, s.lo + t.hi);
    return fastTwoSum(v.hi, t.lo + v.lo);
}

// Relative error at most 7 x 2^-106 (ibid., DWTimesDW1).
Dd multiply(Dd a, Dd b) {
    const Dd p = twoProduct(a.hi, b.hi);
    return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// a / n for a whole number n below 2^26; relative error at most 3.5 x 2^-106 (ibid.,
// DWDivFP1).
Dd divide(Dd a, double n) {
    const double q = a.hi / n;
    const Dd p = twoProduct(q, n);
    return fastTwoSum(q, (((a.hi - p.hi) - p.lo) + a.lo) / n);
}

Dd negate(Dd a) { return {-a.hi, -a.lo}; }

double magnitude(double x) { return x < 0 ? -x : x; }

// 2^k for -1022 <= k <= 1023, built from its bits.
double powerOfTwo(int k) {
    const uint64_t bits = static_cast<uint64_t>(k + 1023) << 52;
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// sin r and cos r for |r| up to a little above pi/4: Taylor series, each term from the last
// by one multiplication and one division, summed from the largest term down. The terms fall
// by a factor of at least 9 each; the sum stops once a term no longer reaches 2^-110 of it
// (after at most 16 terms).
Dd sinSeries(Dd r) {
    const Dd r2 = multiply(r, r);
    Dd term = r;
    Dd sum = r;
    for (int k = 1; k <= 20; ++k) {
        term = negate(divide(multiply(term, r2), (2.0 * k) * (2.0 * k + 1.0)));
        sum = add(sum, term);
        if (magnitude(term.hi) < magnitude(sum.hi) * 0x1p-110) break;
    }
    return sum;
}

Dd cosSeries(Dd r) {
    const Dd r2 = multiply(r, r);
    Dd term = {1.0, 0.0};
    Dd sum = term;
    for (int k = 1; k <= 20; ++k) {
        term = negate(divide(multiply(term, r2), (2.0 * k - 1.0) * (2.0 * k)));
        sum = add(sum, term);
        if (magnitude(term.hi) < magnitude(sum.hi) * 0x1p-110) break;
    }
    return sum;
}

// |x| = (4j + quadrant) pi/2 + r for some whole number j, |r| <= pi/4 (a hair more where
// the reduction rounds).
struct Reduced {
    int quadrant;
    Dd r;
};

// For a finite a >= pi/4: a = m 2^e with a 24-bit whole number m, so a x 2/pi is m times
// the bits of 2/pi shifted by e. Only its value mod 4 matters: the words of 2/pi whose
// product with m 2^e is a multiple of 4 are left out, the next six are multiplied by m
// exactly as whole numbers, and the binary point falls between bits s - 1 and s of that
// 216-bit product, with s >= 159: the fraction is known to 2^-159 at least.
Reduced reduce(float a) {
    const uint32_t bits = bitsOf(a);
    const uint64_t m = (bits & 0x7FFFFFu) | 0x800000u;
    const int e = static_cast<int>(bits >> 23) - 150;
    const int first = e > 2 ? (e - 2) / 32 : 0;  // word first - 1 and those before add multiples of 4
    const int s = 32 * (first + 6) - e;

    uint32_t p[7];  // the product, least significant limb first
    uint64_t high = 0;
    for (int l = 0; l < 6; ++l) {
        const uint64_t v = m * TWO_OVER_PI[first + 5 - l] + high;
        p[l] = static_cast<uint32_t>(v);
        high = v >> 32;
    }
    p[6] = static_cast<uint32_t>(high);
    auto bit = [&p](int i) { return static_cast<int>((p[i / 32] >> (i % 32)) & 1u); };
    auto keepFraction = [&p, s] {
        for (int l = 0; l < 7; ++l) {
            const int low = 32 * l;
            if (low >= s) {
                p[l] = 0;
            } else if (s - low < 32) {
                p[l] &= (1u << (s - low)) - 1u;
            }
        }
    };

    int quadrant = bit(s) + 2 * bit(s + 1);
    // The fraction's bits alone, then, from a half on, its distance below the next whole
    // number (the fraction minus 1, negated): r then lies within pi/4 of zero.
    keepFraction();
    const bool pastHalf = bit(s - 1) != 0;
    if (pastHalf) {
        quadrant = (quadrant + 1) & 3;
        uint64_t carry = 1;  // 2^s - fraction: its two's complement within s bits
        for (int l = 0; l < 7; ++l) {
            const uint64_t v = static_cast<uint64_t>(static_cast<uint32_t>(~p[l])) + carry;
            p[l] = static_cast<uint32_t>(v);
            carry = v >> 32;
        }
        keepFraction();
    }
    // The fraction as a double-double: each limb times its power of two is exact.
    Dd f = {0.0, 0.0};
    for (int l = 6; l >= 0; --l) {
        if (p[l] != 0) f = add(f, {static_cast<double>(p[l]) * powerOfTwo(32 * l - s), 0.0});
    }
    Dd r = multiply(f, PI_OVER_2);
    if (pastHalf) r = negate(r);
    return {quadrant, r};
}

// The float nearest to y, and whether y is far enough from the boundary between two floats
// for that to be certain: its error, below 2^-97 of y, must not reach the distance.
CertifiedFloat roundToFloat(Dd y) {
    const bool negative = y.hi < 0;
    if (negative) y = negate(y);
    const float f = static_cast<float>(y.hi);
    const double nearest = f;
    // Exact: y.hi and f are within a float ulp of each other, and the boundaries are
    // multiples of y.hi's ulp not far from it.
    const double above = y.hi - nearest;
    float result = f;
    double distance;  // from y to the boundary on its side of f; its sign says which way
    if (above + y.lo >= 0) {
        const float up = floatOf(bitsOf(f) + 1);
        distance = (above - (static_cast<double>(up) - nearest) * 0.5) + y.lo;
        if (distance > 0) result = up;
    } else {
        const float down = floatOf(bitsOf(f) - 1);
        distance = (above + (nearest - static_cast<double>(down)) * 0.5) + y.lo;
        if (distance < 0) result = down;
    }
    return {negative ? -result : result, magnitude(distance) > y.hi * 0x1p-80};
}

// x is NaN or infinite: their sine and cosine are NaN.
bool notFinite(float x) { return (bitsOf(x) & 0x7F800000u) == 0x7F800000u; }

// Below 2^-12, sin x = x (1 - x^2/6 + ...) rounds to x and cos x = 1 - x^2/2 + ... to 1:
// x^2 / 6 and x^2 / 2 stay under half the distance to the next float down, even below a
// power of two, where that distance halves.
constexpr float TINY = 0x1p-12f;

// Below this, no reduction: it is pi/4 rounded down to a double.
constexpr double QUARTER_PI = 0x1.921fb54442d18p-1;

}  // namespace

CertifiedFloat certifiedSin(float x) {
    if (notFinite(x)) return {x - x, true};
    const float a = x < 0 ? -x : x;
    if (a < TINY) return {x, true};
    Reduced red = {0, {a, 0.0}};
    if (a >= QUARTER_PI) red = reduce(a);
    Dd y = red.quadrant % 2 == 0 ? sinSeries(red.r) : cosSeries(red.r);
    if (red.quadrant >= 2) y = negate(y);
    if (x < 0) y = negate(y);
    return roundToFloat(y);
}

CertifiedFloat certifiedCos(float x) {
    if (notFinite(x)) return {x - x, true};
    const float a = x < 0 ? -x : x;
    if (a < TINY) return {1.0f, true};
    Reduced red = {0, {a, 0.0}};
    if (a >= QUARTER_PI) red = reduce(a);
    Dd y = red.quadrant % 2 == 0 ? cosSeries(red.r) : sinSeries(red.r);
    if (red.quadrant == 1 || red.quadrant == 2) y = negate(y);
    return roundToFloat(y);
}
