#include "lut/LUTAlgebra.hpp"

#include "color/Precondition.hpp"
#include "lut/LUTFormat.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace lumivert {

namespace {

// A fall smaller than this, in output per lattice step, is rounding in the file.
constexpr float foldTolerance = 1e-6f;
// Newton stops when every channel is this close to its target: far below a 16-bit level.
constexpr double solvedResidual = 1e-7;
constexpr int maxNewtonSteps = 60;
// Halvings of a step that would not bring the output closer, before giving up on the node.
constexpr int maxStepHalvings = 20;
// A Jacobian this close to singular (a flat, clipped region) is solved channel by channel.
constexpr double singularDeterminant = 1e-12;

using Vector = std::array<double, 3>;
using Matrix = std::array<Vector, 3>;  // [output channel][input axis]

Vector toVector(const RGB& c) { return {c.r, c.g, c.b}; }

double determinant(const Matrix& m)
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// m⁻¹ v by Cramer's rule, or channel by channel where m is singular.
Vector solve(const Matrix& m, const Vector& v)
{
    const double d = determinant(m);
    Vector x{};
    if (std::fabs(d) < singularDeterminant) {
        for (std::size_t a = 0; a < 3; ++a)
            x[a] = std::fabs(m[a][a]) > singularDeterminant ? v[a] / m[a][a] : 0.0;
        return x;
    }
    for (std::size_t column = 0; column < 3; ++column) {
        Matrix replaced = m;
        for (std::size_t row = 0; row < 3; ++row)
            replaced[row][column] = v[row];
        x[column] = determinant(replaced) / d;
    }
    return x;
}

// The trilinear lookup at a place 0 … 1 of the domain and its derivatives, the edge cells'
// polynomials continued past the lattice (linear there along each axis) instead of clamping.
struct Extended {
    Vector value;
    Matrix jacobian;
};

Extended extendedLookup(const LUT3D& lut, const Vector& place)
{
    const std::int64_t n = lut.size();
    const double scale = static_cast<double>(n - 1);
    std::array<std::int64_t, 3> cell{};
    Vector t{};
    for (std::size_t a = 0; a < 3; ++a) {
        const double f = place[a] * scale;
        cell[a] = std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor(f)), 0, n - 2);
        t[a] = f - static_cast<double>(cell[a]);
    }
    const auto corner = [&](std::int64_t dr, std::int64_t dg, std::int64_t db) {
        return toVector(lut(cell[0] + dr, cell[1] + dg, cell[2] + db));
    };
    Extended result{};
    for (std::int64_t db = 0; db <= 1; ++db)
        for (std::int64_t dg = 0; dg <= 1; ++dg)
            for (std::int64_t dr = 0; dr <= 1; ++dr) {
                const std::array<std::int64_t, 3> d{dr, dg, db};
                std::array<double, 3> w{};
                for (std::size_t a = 0; a < 3; ++a)
                    w[a] = d[a] != 0 ? t[a] : 1.0 - t[a];
                const Vector c = corner(dr, dg, db);
                for (std::size_t ch = 0; ch < 3; ++ch) {
                    result.value[ch] += w[0] * w[1] * w[2] * c[ch];
                    // ∂w/∂place is ±(N − 1) on the axis's own factor.
                    for (std::size_t a = 0; a < 3; ++a) {
                        const double sign = d[a] != 0 ? 1.0 : -1.0;
                        result.jacobian[ch][a] +=
                            sign * scale * w[(a + 1) % 3] * w[(a + 2) % 3] * c[ch];
                    }
                }
            }
    return result;
}

double residualNorm(const Vector& target, const Vector& value)
{
    return std::max({std::fabs(target[0] - value[0]), std::fabs(target[1] - value[1]),
                     std::fabs(target[2] - value[2])});
}

// Newton steps from the target itself (most looks stay near the identity), each halved while
// it would take the output further from the target.
Vector solveNode(const LUT3D& lut, const Vector& target)
{
    Vector x = target;
    Extended at = extendedLookup(lut, x);
    double residual = residualNorm(target, at.value);
    for (int step = 0; step < maxNewtonSteps && residual > solvedResidual; ++step) {
        const Vector delta = solve(at.jacobian, {target[0] - at.value[0], target[1] - at.value[1],
                                                 target[2] - at.value[2]});
        double fraction = 1.0;
        bool improved = false;
        for (int halving = 0; halving < maxStepHalvings && !improved; ++halving, fraction /= 2) {
            const Vector candidate{x[0] + fraction * delta[0], x[1] + fraction * delta[1],
                                   x[2] + fraction * delta[2]};
            const Extended there = extendedLookup(lut, candidate);
            const double candidateResidual = residualNorm(target, there.value);
            if (candidateResidual < residual) {
                x = candidate;
                at = there;
                residual = candidateResidual;
                improved = true;
            }
        }
        if (!improved)
            break;
    }
    return x;
}

std::string nodeText(const RGB& input)
{
    char text[96];
    std::snprintf(text, sizeof text, "(%.4g, %.4g, %.4g)", static_cast<double>(input.r),
                  static_cast<double>(input.g), static_cast<double>(input.b));
    return text;
}

constexpr std::array<const char*, 3> channelNames{"red", "green", "blue"};

// The first node whose cell's differences fall along their own axis or turn the outputs over.
void refuseFolds(const LUT3D& lut)
{
    const std::int64_t n = lut.size();
    const float step = 1.0f / static_cast<float>(n - 1);
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r) {
                const std::array<std::int64_t, 3> node{r, g, b};
                Matrix differences{};
                for (std::size_t a = 0; a < 3; ++a) {
                    std::array<std::int64_t, 3> lo = node;
                    std::array<std::int64_t, 3> hi = node;
                    // The last node of an axis takes the difference before it.
                    if (node[a] + 1 < n)
                        ++hi[a];
                    else
                        --lo[a];
                    const Vector difference =
                        toVector(lut(hi[0], hi[1], hi[2]) - lut(lo[0], lo[1], lo[2]));
                    for (std::size_t ch = 0; ch < 3; ++ch)
                        differences[ch][a] = difference[ch];
                }
                const RGB input =
                    lut.domain().at({static_cast<float>(r) * step, static_cast<float>(g) * step,
                                     static_cast<float>(b) * step});
                for (std::size_t a = 0; a < 3; ++a)
                    if (differences[a][a] < -foldTolerance)
                        throw LUTFoldError(node, input,
                                           std::string("its ") + channelNames[a] +
                                               " output falls as its " + channelNames[a] +
                                               " input rises");
                const double tolerance = std::pow(static_cast<double>(foldTolerance), 3.0);
                if (determinant(differences) < -tolerance)
                    throw LUTFoldError(node, input, "its outputs cross over");
            }
}

}  // namespace

LUTFoldError::LUTFoldError(std::array<std::int64_t, 3> node, const RGB& input,
                           const std::string& how)
    : std::runtime_error("The LUT cannot be inverted: it folds at lattice node (" +
                         std::to_string(node[0]) + ", " + std::to_string(node[1]) + ", " +
                         std::to_string(node[2]) + "), input " + nodeText(input) + ", where " +
                         how + "."),
      node_(node)
{
}

namespace LUTAlgebra {

LUTStack combine(std::span<const LUTStack> luts, std::int64_t size)
{
    LUMIVERT_PRECONDITION(!luts.empty(), "there is a LUT to combine");
    LUMIVERT_PRECONDITION(size >= LUTFormat::minSize && size <= LUTFormat::maxSize,
                          "a combined table has a size a LUT file can hold");
    const auto rest = [luts](RGB colour) {
        for (const LUTStack& lut : luts.subspan(1))
            colour = lut.apply(colour);
        return colour;
    };
    const LUTStack& first = luts.front();
    // A shaper brings wide inputs into its table's domain; kept, it keeps that precision.
    if (first.hasCurves() && first.hasTable() && first.strength() == 1.0f) {
        const LUT3D& table = first.table();
        const LUTDomain& domain = table.domain();
        return LUTStack(first.curves(),
                        LUT3D::buildUnclamped(
                            size,
                            [&](const RGB& place) { return rest(table.sample(domain.at(place))); },
                            domain));
    }
    const LUTDomain& domain = first.domain();
    return LUT3D::buildUnclamped(
        size, [&](const RGB& place) { return rest(first.apply(domain.at(place))); }, domain);
}

std::int64_t largestSize(std::span<const LUTStack> luts, std::int64_t fallback)
{
    std::int64_t largest = 0;
    for (const LUTStack& lut : luts)
        if (lut.hasTable())
            largest = std::max(largest, lut.table().size());
    return largest == 0 ? fallback : largest;
}

LUT3D invert(const LUT3D& lut, std::int64_t size)
{
    LUMIVERT_PRECONDITION(size >= LUTFormat::minSize && size <= LUTFormat::maxSize,
                          "an inverse table has a size a LUT file can hold");
    refuseFolds(lut);
    const std::vector<float> axis = LUT3D::latticeAxis(size);
    std::vector<RGB> values(static_cast<std::size_t>(size * size * size));
    // Every node is solved on its own, so the table is the same on any number of threads.
#pragma omp parallel for schedule(dynamic)
    for (std::int64_t b = 0; b < size; ++b)
        for (std::int64_t g = 0; g < size; ++g)
            for (std::int64_t r = 0; r < size; ++r) {
                const Vector place = solveNode(lut, {axis[static_cast<std::size_t>(r)],
                                                     axis[static_cast<std::size_t>(g)],
                                                     axis[static_cast<std::size_t>(b)]});
                values[static_cast<std::size_t>(r + size * (g + size * b))] =
                    lut.domain().at({static_cast<float>(place[0]), static_cast<float>(place[1]),
                                     static_cast<float>(place[2])});
            }
    return LUT3D(size, std::move(values));
}

}  // namespace LUTAlgebra

}  // namespace lumivert
