// The correctly rounded sine and cosine of a float, from MPFR: at 24 bits of precision,
// rounding to nearest, MPFR's result is the float nearest to the true value.
#pragma once

#include <mpfr.h>

// function(x) rounded to a float, for function mpfr_sin or mpfr_cos.
inline float mpfrCorrectlyRounded(int (*function)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), float x) {
    mpfr_t a, b;
    mpfr_init2(a, 24);
    mpfr_init2(b, 24);
    mpfr_set_flt(a, x, MPFR_RNDN);
    function(b, a, MPFR_RNDN);
    const float y = mpfr_get_flt(b, MPFR_RNDN);
    mpfr_clears(a, b, static_cast<mpfr_ptr>(nullptr));
    return y;
}

inline float mpfrSin(float x) { return mpfrCorrectlyRounded(mpfr_sin, x); }
inline float mpfrCos(float x) { return mpfrCorrectlyRounded(mpfr_cos, x); }
