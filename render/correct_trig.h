// Single-precision sine and cosine, correctly rounded (to nearest), computed here with
// nothing but IEEE double arithmetic and integers, so that every platform, C library and
// compiler gives the same camera and view angle, hence the same frames.
#pragma once

struct CertifiedFloat {
    float value;
    // The evaluation was far enough from a rounding boundary that value is certainly the
    // correctly rounded one. No argument the animation reaches comes anywhere near; the
    // flag is for the programs that check that.
    bool certain;
};

CertifiedFloat certifiedSin(float x);
CertifiedFloat certifiedCos(float x);

inline float correctSin(float x) { return certifiedSin(x).value; }
inline float correctCos(float x) { return certifiedCos(x).value; }
