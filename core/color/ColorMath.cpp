#include "color/ColorMath.hpp"

#include "color/Precondition.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace lumivert {

namespace {

// sRGB transfer function, IEC 61966-2-1.
constexpr float decodeThreshold = 0.04045f;
constexpr float encodeThreshold = 0.0031308f;
constexpr float linearSlope = 12.92f;
constexpr float srgbOffset = 0.055f;
constexpr float srgbScale = 1.055f;
constexpr float gamma = 2.4f;
constexpr float inverseGamma = 0.41666666f;

constexpr float gamutTolerance = 0.0001f;
constexpr int bisectionSteps = 14;

// Single-precision π rounded toward zero, and its double; both as the angle wrap defines them.
constexpr float pi = 3.1415925f;
constexpr float twoPi = 6.283185f;
constexpr float largeAngle = 1024.0f;

// Oklab matrices for linear sRGB (D65), as published by Björn Ottosson (2020).
constexpr float m1[3][3] = {{0.4122214708f, 0.5363325363f, 0.0514459929f},
                            {0.2119034982f, 0.6806995451f, 0.1073969566f},
                            {0.0883024619f, 0.2817188376f, 0.6299787005f}};
constexpr float m2[3][3] = {{0.2104542553f, 0.7936177850f, -0.0040720468f},
                            {1.9779984951f, -2.4285922050f, 0.4505937099f},
                            {0.0259040371f, 0.7827717662f, -0.8086757660f}};
constexpr float m2Inverse[3][3] = {{1.0f, 0.3963377774f, 0.2158037573f},
                                   {1.0f, -0.1055613458f, -0.0638541728f},
                                   {1.0f, -0.0894841775f, -1.2914855480f}};
constexpr float m1Inverse[3][3] = {{4.0767416621f, -3.3077115913f, 0.2309699292f},
                                   {-1.2684380046f, 2.6097574011f, -0.3413193965f},
                                   {-0.0041960863f, -0.7034186147f, 1.7076147010f}};

struct Vec3 {
    float x, y, z;
};

inline Vec3 multiply(const float (&m)[3][3], Vec3 v)
{
    return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
            m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
            m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

// Lanes of the scalar arithmetic above: the same IEEE operations in the same order, so every
// lane rounds exactly as the scalar code would. This holds while no multiply-add is fused, which
// the build forbids (-ffp-contract=off) on every target.
using Float4 = float __attribute__((vector_size(16)));
using Mask4 = int __attribute__((vector_size(16)));
using Float8 = float __attribute__((vector_size(32)));
using Mask8 = int __attribute__((vector_size(32)));

// inGamut(oklabToLinear({L, a × t, b × t})) for a register of scales t, as lane masks. Written
// through a reference: eight-lane vectors have no by-value ABI on the baseline target.
template <typename Floats, typename Mask>
[[gnu::always_inline]] inline void inGamutAtScales(const Lab& lab, const Floats& t, Mask& fits)
{
    const Floats l = lab.L + Floats{};  // L in every lane
    const Floats a = lab.a * t;
    const Floats b = lab.b * t;
    const Floats lp = m2Inverse[0][0] * l + m2Inverse[0][1] * a + m2Inverse[0][2] * b;
    const Floats mp = m2Inverse[1][0] * l + m2Inverse[1][1] * a + m2Inverse[1][2] * b;
    const Floats sp = m2Inverse[2][0] * l + m2Inverse[2][1] * a + m2Inverse[2][2] * b;
    const Floats lc = lp * lp * lp;
    const Floats mc = mp * mp * mp;
    const Floats sc = sp * sp * sp;
    const Floats r = m1Inverse[0][0] * lc + m1Inverse[0][1] * mc + m1Inverse[0][2] * sc;
    const Floats g = m1Inverse[1][0] * lc + m1Inverse[1][1] * mc + m1Inverse[1][2] * sc;
    const Floats bl = m1Inverse[2][0] * lc + m1Inverse[2][1] * mc + m1Inverse[2][2] * sc;
    constexpr float low = -gamutTolerance;
    constexpr float high = 1.0f + gamutTolerance;
    fits = (r >= low) & (r <= high) & (g >= low) & (g <= high) & (bl >= low) & (bl <= high);
}

// The chroma scale the plain 14-step bisection on [0, 1] settles on, with the same midpoints and
// the same verdicts. Each round tests the midpoints of the next three levels together (the one of
// this level, both possible ones of the next, all four of the one after), turning a chain of
// dependent tests into independent ones, then follows the verdicts without branching. Every
// bound and midpoint is a multiple of 2^-15 in [0, 1], so lo + k × (hi − lo) / 8 is exact and
// equals the midpoint the sequential halving reaches. The seven tests take one pass of eight
// lanes where the processor has them, two of four otherwise; both give the same bits.
template <int lanes> [[gnu::always_inline]] inline float bisectedChromaScale(const Lab& lab)
{
    constexpr int levelsPerRound = 3;
    // In eighths of the interval: this level's midpoint, the next level's two, the four of the
    // level after.
    constexpr Float4 nearEighths = {4.0f, 2.0f, 6.0f, 0.0f};
    constexpr Float4 farEighths = {1.0f, 3.0f, 5.0f, 7.0f};
    constexpr Float8 allEighths = {4.0f, 2.0f, 6.0f, 1.0f, 3.0f, 5.0f, 7.0f, 0.0f};
    constexpr int farLanes = 3;  // where the level after starts in allEighths
    float lo = 0.0f;
    float hi = 1.0f;
    for (int left = bisectionSteps; left > 0; left -= levelsPerRound) {
        const float eighth = (hi - lo) * 0.125f;
        int fits[8] = {};  // the verdicts in the order of allEighths
        if constexpr (lanes == 8) {
            Mask8 all = {};
            inGamutAtScales(lab, lo + allEighths * eighth, all);
            for (int lane = 0; lane < 8; ++lane)
                fits[lane] = all[lane];
        } else {
            Mask4 near = {};
            Mask4 far = {};
            inGamutAtScales(lab, lo + nearEighths * eighth, near);
            inGamutAtScales(lab, lo + farEighths * eighth, far);
            for (int lane = 0; lane < farLanes; ++lane)
                fits[lane] = near[lane];
            for (int lane = 0; lane < 4; ++lane)
                fits[farLanes + lane] = far[lane];
        }
        const int first = fits[0] & 1;
        const int second = fits[1 + first] & 1;
        if (left < levelsPerRound) {
            // Two levels left: lo moves to the start of the chosen quarter.
            lo += static_cast<float>(2 * first + second) * (2.0f * eighth);
            break;
        }
        const int third = fits[farLanes + 2 * first + second] & 1;
        lo += static_cast<float>(4 * first + 2 * second + third) * eighth;
        hi = lo + eighth;
    }
    return lo;
}

[[gnu::target("default")]] float gamutScale(const Lab& lab) { return bisectedChromaScale<4>(lab); }

[[gnu::target("avx2")]] float gamutScale(const Lab& lab) { return bisectedChromaScale<8>(lab); }

// Real cube root, negative inputs giving negative roots. Three Newton steps in double from a
// bit-level first guess reach about 1e-11 relative error, so rounding to float gives the
// correctly rounded root; the C library's cbrtf is both slower and up to 1 ulp off.
constexpr std::uint64_t cubeRootMagic = 0x2A9F7893782DA1CEull;
constexpr int cubeRootSteps = 3;

// The bit-level first guess: a third of the exponent, roughly.
inline double firstCubeRootGuess(double magnitude)
{
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(magnitude) / 3 + cubeRootMagic);
}

inline float cubeRoot(float x)
{
    const double value = x;
    const double magnitude = std::fabs(value);
    if (!(magnitude > 0.0) || !std::isfinite(magnitude))
        return x;  // zero, NaN and infinity are their own roots
    double root = firstCubeRootGuess(magnitude);
    for (int step = 0; step < cubeRootSteps; ++step)
        root -= (root * root * root - magnitude) / (3.0 * root * root);
    return static_cast<float>(std::copysign(root, value));
}

// cubeRoot() of three values, the Newton steps of all three in one register of four doubles:
// per lane the same operations in the same order, so the same bits.
using Double4 = double __attribute__((vector_size(32)));

[[gnu::target_clones("avx2", "default")]] Vec3 cubeRoots(Vec3 v)
{
    const double x = v.x;
    const double y = v.y;
    const double z = v.z;
    const bool ordinary = std::fabs(x) > 0.0 && std::fabs(y) > 0.0 && std::fabs(z) > 0.0 &&
                          std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
    if (!ordinary)
        return {cubeRoot(v.x), cubeRoot(v.y), cubeRoot(v.z)};
    // The spare fourth lane takes 1, whose root needs no care.
    const Double4 magnitude = {std::fabs(x), std::fabs(y), std::fabs(z), 1.0};
    Double4 root = {firstCubeRootGuess(magnitude[0]), firstCubeRootGuess(magnitude[1]),
                    firstCubeRootGuess(magnitude[2]), 1.0};
    for (int step = 0; step < cubeRootSteps; ++step)
        root -= (root * root * root - magnitude) / (3.0 * root * root);
    return {static_cast<float>(std::copysign(root[0], x)),
            static_cast<float>(std::copysign(root[1], y)),
            static_cast<float>(std::copysign(root[2], z))};
}

// Cusp-aware mapping, after Björn Ottosson's gamut clipping for Oklab (2021): the colour moves in
// a straight line at constant hue towards a grey of lightness L0 until it meets the boundary of
// the hue's slice, found from the slice's cusp. Above mid lightness L0 adapts between the
// colour's own lightness and mid lightness, the more chroma the colour has the nearer mid
// lightness (below it, L0 is the colour's own lightness); projecting towards the
// cusp's lightness instead leaves bright yellows with the same abrupt chroma loss as constant
// lightness. Along a ray from black at fixed hue and fixed C / L, every channel scales as the
// cube of L, so the lower boundary of a slice is exactly the line from black to the cusp; the
// upper one curves and is refined by a Halley step.
constexpr float midLightness = 0.5f;
constexpr float projectionAdaptation = 20.0f;  // Ottosson's alpha; larger leans to mid lightness
constexpr float smallestChroma = 0.00001f;

// The polynomial first guess of the saturation at which a channel reaches 0, in the hue region
// where that channel is the first to, and the channel's weights on cubed LMS (Ottosson's fit).
struct SaturationFit {
    float k0, k1, k2, k3, k4;
    const float (&weights)[3];
};
constexpr SaturationFit redFit{1.19086277f, 1.76576728f, 0.59662641f,
                               0.75515197f, 0.56771245f, m1Inverse[0]};
constexpr SaturationFit greenFit{0.73956515f, -0.45954404f, 0.08285427f,
                                 0.12541070f, 0.14503204f,  m1Inverse[1]};
constexpr SaturationFit blueFit{1.35733652f,  -0.00915799f, -1.15130210f,
                                -0.50559606f, 0.00692167f,  m1Inverse[2]};
// The guess is within about 1e-3; each Halley step roughly cubes the error.
constexpr int saturationSteps = 2;

// The largest C / L of the hue (a, b), a unit vector, that keeps every channel at or above 0.
float maxSaturation(float a, float b)
{
    const SaturationFit& fit = -1.88170328f * a - 0.80936493f * b > 1.0f  ? redFit
                               : 1.81444104f * a - 1.19445276f * b > 1.0f ? greenFit
                                                                          : blueFit;
    float s = fit.k0 + fit.k1 * a + fit.k2 * b + fit.k3 * a * a + fit.k4 * a * b;
    const float kl = m2Inverse[0][1] * a + m2Inverse[0][2] * b;
    const float km = m2Inverse[1][1] * a + m2Inverse[1][2] * b;
    const float ks = m2Inverse[2][1] * a + m2Inverse[2][2] * b;
    const float wl = fit.weights[0];
    const float wm = fit.weights[1];
    const float ws = fit.weights[2];
    for (int step = 0; step < saturationSteps; ++step) {
        const float l = 1.0f + s * kl;
        const float m = 1.0f + s * km;
        const float sh = 1.0f + s * ks;
        const float f = wl * l * l * l + wm * m * m * m + ws * sh * sh * sh;
        const float f1 = 3.0f * (wl * kl * l * l + wm * km * m * m + ws * ks * sh * sh);
        const float f2 = 6.0f * (wl * kl * kl * l + wm * km * km * m + ws * ks * ks * sh);
        s -= f * f1 / (f1 * f1 - 0.5f * f * f2);
    }
    return s;
}

Cusp cuspOf(float a, float b)
{
    const float saturation = maxSaturation(a, b);
    const RGB top = ColorMath::oklabToLinear({1.0f, saturation * a, saturation * b});
    const float lightness = cubeRoot(1.0f / std::max(std::max(top.r, top.g), top.b));
    return {lightness, lightness * saturation};
}

// How far (t) along the segment from (L0, 0) to (L1, C1) the gamut boundary of the hue lies.
float gamutIntersection(float a, float b, float L1, float C1, float L0, const Cusp& cusp)
{
    if ((L1 - L0) * cusp.C - (cusp.L - L0) * C1 <= 0.0f)
        return cusp.C * L0 / (C1 * cusp.L + cusp.C * (L0 - L1));  // below the cusp: exact
    float t = cusp.C * (L0 - 1.0f) / (C1 * (cusp.L - 1.0f) + cusp.C * (L0 - L1));
    // Above it the straight line to white is only a first guess; Halley on each channel reaching 1.
    const float kl = m2Inverse[0][1] * a + m2Inverse[0][2] * b;
    const float km = m2Inverse[1][1] * a + m2Inverse[1][2] * b;
    const float ks = m2Inverse[2][1] * a + m2Inverse[2][2] * b;
    const float dL = L1 - L0;
    const float ldt = dL + C1 * kl;
    const float mdt = dL + C1 * km;
    const float sdt = dL + C1 * ks;
    const float L = L0 * (1.0f - t) + t * L1;
    const float C = t * C1;
    const float l = L + C * kl;
    const float m = L + C * km;
    const float s = L + C * ks;
    const float lms[3] = {l * l * l, m * m * m, s * s * s};
    const float first[3] = {3.0f * ldt * l * l, 3.0f * mdt * m * m, 3.0f * sdt * s * s};
    const float second[3] = {6.0f * ldt * ldt * l, 6.0f * mdt * mdt * m, 6.0f * sdt * sdt * s};
    float step = std::numeric_limits<float>::max();
    for (const auto& w : m1Inverse) {
        const float r = w[0] * lms[0] + w[1] * lms[1] + w[2] * lms[2] - 1.0f;
        const float r1 = w[0] * first[0] + w[1] * first[1] + w[2] * first[2];
        const float r2 = w[0] * second[0] + w[1] * second[1] + w[2] * second[2];
        const float u = r1 / (r1 * r1 - 0.5f * r * r2);
        // A channel falling along the segment never meets 1 ahead.
        if (u >= 0.0f)
            step = std::min(step, -r * u);
    }
    return t + step;
}

// The out-of-gamut colour lab, L above 0, projected onto the boundary of its hue's slice.
RGB smoothlyMapped(const Lab& lab)
{
    const float L = lab.L;
    const float C = std::max(smallestChroma, std::sqrt(lab.a * lab.a + lab.b * lab.b));
    const float a = lab.a / C;
    const float b = lab.b / C;
    const Cusp cusp = cuspOf(a, b);
    const float d = L - midLightness;
    const float e = 0.5f + d + projectionAdaptation * C;
    // Never negative in exact arithmetic; rounding must not make it so.
    const float offset = 0.5f * (e - std::sqrt(std::max(0.0f, e * e - 2.0f * d)));
    // Below mid lightness a colour keeps its own: lifting dark colours towards mid grey would
    // brighten shadows and open steps of up to 50 levels at the lattice's black corner. Both
    // sides give mid lightness itself at d = 0.
    const float L0 = d > 0.0f ? midLightness + offset : L;
    const float t = gamutIntersection(a, b, L, C, L0, cusp);
    const float mappedL = L0 * (1.0f - t) + t * L;
    const float mappedC = t * C;
    return ColorMath::oklabToLinear({mappedL, mappedC * a, mappedC * b});
}

}  // namespace

namespace ColorMath {

float decode(float x)
{
    const float magnitude = std::fabs(x);
    const float linear = magnitude <= decodeThreshold
                             ? magnitude / linearSlope
                             : std::pow((magnitude + srgbOffset) / srgbScale, gamma);
    return std::copysign(linear, x);
}

RGB decode(const RGB& c) { return {decode(c.r), decode(c.g), decode(c.b)}; }

float encode(float x)
{
    const float magnitude = std::fabs(x);
    const float encoded = magnitude <= encodeThreshold
                              ? linearSlope * magnitude
                              : srgbScale * std::pow(magnitude, inverseGamma) - srgbOffset;
    return std::copysign(encoded, x);
}

RGB encode(const RGB& c) { return {encode(c.r), encode(c.g), encode(c.b)}; }

Lab linearToOklab(const RGB& linear)
{
    const Vec3 lms = multiply(m1, {linear.r, linear.g, linear.b});
    const Vec3 lmsPrime = cubeRoots(lms);
    const Vec3 lab = multiply(m2, lmsPrime);
    return {lab.x, lab.y, lab.z};
}

RGB oklabToLinear(const Lab& lab)
{
    const Vec3 lmsPrime = multiply(m2Inverse, {lab.L, lab.a, lab.b});
    const Vec3 lms = {lmsPrime.x * lmsPrime.x * lmsPrime.x, lmsPrime.y * lmsPrime.y * lmsPrime.y,
                      lmsPrime.z * lmsPrime.z * lmsPrime.z};
    const Vec3 rgb = multiply(m1Inverse, lms);
    return {rgb.x, rgb.y, rgb.z};
}

Lab srgbToOklab(const RGB& srgb) { return linearToOklab(decode(srgb)); }

RGB oklabToSRGB(const Lab& lab)
{
    if (!(lab.L > 0.0f))
        return {0, 0, 0};
    if (lab.L >= 1.0f)
        return {1, 1, 1};
    RGB linear = oklabToLinear(lab);
    if (!inGamut(linear)) {
        // Bisect the chroma scale: 0 is grey of the same lightness and always fits.
        const float scale = gamutScale(lab);
        linear = oklabToLinear({lab.L, lab.a * scale, lab.b * scale});
    }
    return clamp01(encode(clamp01(linear)));
}

RGB oklabToSRGB(const Lab& lab, GamutMapping mapping)
{
    // Above white too: a bright colour that tips over L = 1 must not jump to white.
    if (mapping == GamutMapping::preserveLightness || !(lab.L > 0.0f) ||
        !(std::fabs(lab.a) + std::fabs(lab.b) > smallestChroma))
        return oklabToSRGB(lab);
    RGB linear = oklabToLinear(lab);
    if (!inGamut(linear))
        linear = smoothlyMapped(lab);
    return clamp01(encode(clamp01(linear)));
}

Cusp cusp(float a, float b) { return cuspOf(a, b); }

bool inGamut(const RGB& c)
{
    constexpr float low = -gamutTolerance;
    constexpr float high = 1.0f + gamutTolerance;
    return c.r >= low && c.r <= high && c.g >= low && c.g <= high && c.b >= low && c.b <= high;
}

float luma(const RGB& c) { return 0.2126f * c.r + 0.7152f * c.g + 0.0722f * c.b; }

RGB hsv(float hue, float saturation, float value)
{
    LUMIVERT_PRECONDITION(std::isfinite(hue), "hsv needs a finite hue");
    const float h = hue - std::floor(hue);
    const float h6 = 6.0f * h;
    const int sector = static_cast<int>(h6) % 6;
    const float f = h6 - std::floor(h6);
    const float p = value * (1.0f - saturation);
    const float q = value * (1.0f - saturation * f);
    const float t = value * (1.0f - saturation * (1.0f - f));
    switch (sector) {
    case 0: return {value, t, p};
    case 1: return {q, value, p};
    case 2: return {p, value, t};
    case 3: return {p, q, value};
    case 4: return {t, p, value};
    default: return {value, p, q};
    }
}

}  // namespace ColorMath

namespace ToneShapes {

float contrast(float x, float amount, float pivot)
{
    const float v = clamp01(x);
    if (amount == 1.0f)
        return v;
    if (v < pivot)
        return pivot * std::pow(v / pivot, amount);
    return 1.0f - (1.0f - pivot) * std::pow((1.0f - v) / (1.0f - pivot), amount);
}

}  // namespace ToneShapes

float wrapAngle(float angle)
{
    // Subtracting 2π from an infinite or huge angle never ends; such angles have no
    // meaningful wrap (NaN) or are first reduced in one step.
    if (!std::isfinite(angle))
        return std::numeric_limits<float>::quiet_NaN();
    if (std::fabs(angle) > largeAngle)
        angle = std::fmod(angle, twoPi);
    while (angle > pi)
        angle -= twoPi;
    while (angle < -pi)
        angle += twoPi;
    return angle;
}

namespace ColorMathLanes {
float chromaScaleFourLanes(const Lab& lab) { return bisectedChromaScale<4>(lab); }
float chromaScaleEightLanes(const Lab& lab) { return bisectedChromaScale<8>(lab); }
}  // namespace ColorMathLanes

}  // namespace lumivert
