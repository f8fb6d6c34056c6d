#include "color/ColorDifference.hpp"

#include "color/ColorMath.hpp"

#include <cmath>
#include <numbers>

namespace lumivert::ColorDifference {

namespace {

// Linear sRGB to XYZ, IEC 61966-2-1.
constexpr double toXYZ[3][3] = {{0.4124564, 0.3575761, 0.1804375},
                                {0.2126729, 0.7151522, 0.0721750},
                                {0.0193339, 0.1191920, 0.9503041}};
// The white is the matrix applied to RGB white, so that neutral greys have no chroma.
constexpr double white[3] = {toXYZ[0][0] + toXYZ[0][1] + toXYZ[0][2],
                             toXYZ[1][0] + toXYZ[1][1] + toXYZ[1][2],
                             toXYZ[2][0] + toXYZ[2][1] + toXYZ[2][2]};
// CIE 15: the cube root above (6/29)³, a line of slope 1/(3·(6/29)²) through 4/29 below.
constexpr double epsilon = 6.0 / 29.0;
constexpr double pow25To7 = 6103515625.0;  // 25⁷
constexpr double degrees = 180.0 / std::numbers::pi;
constexpr double radians = std::numbers::pi / 180.0;

double labF(double t)
{
    return t > epsilon * epsilon * epsilon ? std::cbrt(t)
                                           : t / (3 * epsilon * epsilon) + 4.0 / 29.0;
}

// Hue angle in degrees within [0, 360); 0 for a neutral colour.
double hueDegrees(double b, double a)
{
    if (a == 0 && b == 0)
        return 0;
    const double h = std::atan2(b, a) * degrees;
    return h < 0 ? h + 360 : h;
}

// Lab values are far from overflow, so the plain root serves and is much faster than hypot.
double chroma(double a, double b) { return std::sqrt(a * a + b * b); }

double pow7(double x)
{
    const double x2 = x * x;
    return x2 * x2 * x2 * x;
}

}  // namespace

CIELab srgbToCIELab(const RGB& srgb) { return linearToCIELab(ColorMath::decode(srgb)); }

CIELab linearToCIELab(const RGB& linear)
{
    const double rgb[3] = {linear.r, linear.g, linear.b};
    double f[3] = {};
    for (int row = 0; row < 3; ++row) {
        const double xyz = toXYZ[row][0] * rgb[0] + toXYZ[row][1] * rgb[1] + toXYZ[row][2] * rgb[2];
        f[row] = labF(xyz / white[row]);
    }
    return {116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])};
}

// Sharma, Wu and Dalal, "The CIEDE2000 color-difference formula: implementation notes,
// supplementary test data, and mathematical observations" (2005), equations 1 to 22.
double deltaE2000(const CIELab& x, const CIELab& y)
{
    const double meanC = (chroma(x.a, x.b) + chroma(y.a, y.b)) / 2;
    const double g = 0.5 * (1 - std::sqrt(pow7(meanC) / (pow7(meanC) + pow25To7)));
    const double a1 = (1 + g) * x.a;
    const double a2 = (1 + g) * y.a;
    const double c1 = chroma(a1, x.b);
    const double c2 = chroma(a2, y.b);
    const double h1 = hueDegrees(x.b, a1);
    const double h2 = hueDegrees(y.b, a2);

    const double deltaL = y.L - x.L;
    const double deltaC = c2 - c1;
    const bool neutral = c1 * c2 == 0;
    double deltaHue = neutral ? 0 : h2 - h1;
    if (deltaHue > 180)
        deltaHue -= 360;
    else if (deltaHue < -180)
        deltaHue += 360;
    const double deltaH = 2 * std::sqrt(c1 * c2) * std::sin(deltaHue / 2 * radians);

    const double meanL = (x.L + y.L) / 2;
    const double meanCPrime = (c1 + c2) / 2;
    double meanH = h1 + h2;
    if (!neutral)
        meanH = std::abs(h1 - h2) <= 180 ? meanH / 2
                : meanH < 360            ? (meanH + 360) / 2
                                         : (meanH - 360) / 2;

    const double t =
        1 - 0.17 * std::cos((meanH - 30) * radians) + 0.24 * std::cos(2 * meanH * radians) +
        0.32 * std::cos((3 * meanH + 6) * radians) - 0.20 * std::cos((4 * meanH - 63) * radians);
    const double hueOffset = (meanH - 275) / 25;
    const double deltaTheta = 30 * std::exp(-hueOffset * hueOffset);
    const double rc = 2 * std::sqrt(pow7(meanCPrime) / (pow7(meanCPrime) + pow25To7));
    const double lightOffset = (meanL - 50) * (meanL - 50);
    const double sl = 1 + 0.015 * lightOffset / std::sqrt(20 + lightOffset);
    const double sc = 1 + 0.045 * meanCPrime;
    const double sh = 1 + 0.015 * meanCPrime * t;
    const double rt = -std::sin(2 * deltaTheta * radians) * rc;

    const double l = deltaL / sl;
    const double c = deltaC / sc;
    const double h = deltaH / sh;
    return std::sqrt(l * l + c * c + h * h + rt * c * h);
}

double deltaE2000(const RGB& x, const RGB& y)
{
    return deltaE2000(srgbToCIELab(x), srgbToCIELab(y));
}

}  // namespace lumivert::ColorDifference
