#include "lut/LUTAlgebra.hpp"

#include "color/Precondition.hpp"
#include "lut/LUTFormat.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace lumivert {

namespace {

constexpr std::size_t kChannels = 3;
constexpr std::array<const char*, kChannels> kChannelNames = {"red", "green", "blue"};

// A fall smaller than this, per entry, is rounding in the file (12-bit .3dl steps are 2.4e-4).
constexpr float kFallTolerance = 1e-5f;
// The orientation is judged from the sine of the cell's edges (its volume over the product of
// their lengths): below minus this share they turn the cube inside out. Edges flatter than
// kFlatEdge of a cell (clipped, where rounding sets the sign) leave orientation undecided.
constexpr double kFlipTolerance = 0.01;
constexpr double kFlatEdge = 0.05;

// Newton's method: steps until the error is below kSolved, at most kMostSteps of them, each one
// halved at most kMostHalvings times until it lowers the error.
constexpr int kMostSteps = 50;
constexpr int kMostHalvings = 12;
constexpr double kSolved = 1e-7;
// Finite-difference step of the Jacobian, as a share of the domain's width: small against a cell
// of a 256-point table, large against single-precision rounding.
constexpr double kDifferenceStep = 1e-3;
// Below this determinant the step falls back to each channel on its own.
constexpr double kSingular = 1e-12;
constexpr double kSmallestSlope = 1e-6;

using Vector = std::array<double, kChannels>;
using Matrix = std::array<Vector, kChannels>;  // columns: the change along red, green, blue

Vector toVector(const RGB& c) { return {c.r, c.g, c.b}; }
RGB toRGB(const Vector& v)
{
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

double determinant(const Matrix& m)
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[1][0] * (m[0][1] * m[2][2] - m[0][2] * m[2][1]) +
           m[2][0] * (m[0][1] * m[1][2] - m[0][2] * m[1][1]);
}

// x with m x = v, by Cramer's rule; each channel on its own when m is (nearly) singular.
Vector solved(const Matrix& m, const Vector& v)
{
    const double det = determinant(m);
    Vector x{};
    if (std::fabs(det) < kSingular) {
        for (std::size_t i = 0; i < kChannels; ++i)
            x[i] = v[i] / std::max(m[i][i], kSmallestSlope);
        return x;
    }
    for (std::size_t i = 0; i < kChannels; ++i) {
        Matrix replaced = m;
        replaced[i] = v;
        x[i] = determinant(replaced) / det;
    }
    return x;
}

double largestOf(const Vector& v)
{
    return std::max({std::fabs(v[0]), std::fabs(v[1]), std::fabs(v[2])});
}

class Inverter {
public:
    explicit Inverter(const LUT3D& table) : table_(table)
    {
        const Vector lo = toVector(table.domain().min);
        const Vector hi = toVector(table.domain().max);
        for (std::size_t i = 0; i < kChannels; ++i) {
            lo_[i] = lo[i];
            hi_[i] = hi[i];
            step_[i] = kDifferenceStep * (hi[i] - lo[i]);
        }
    }

    // The input x, inside the domain, whose lookup comes nearest to y.
    RGB inputFor(const RGB& target) const
    {
        const Vector y = toVector(target);
        Vector x = clamped(y);
        Vector error = errorAt(x, y);
        for (int step = 0; step < kMostSteps && largestOf(error) > kSolved; ++step) {
            const Vector dx = solved(jacobianAt(x), error);
            double share = 1.0;
            bool improved = false;
            for (int halving = 0; halving <= kMostHalvings && !improved; ++halving) {
                Vector next{};
                for (std::size_t i = 0; i < kChannels; ++i)
                    next[i] = x[i] - share * dx[i];
                next = clamped(next);
                const Vector nextError = errorAt(next, y);
                if (largestOf(nextError) < largestOf(error)) {
                    x = next;
                    error = nextError;
                    improved = true;
                }
                share /= 2.0;
            }
            if (!improved)
                break;
        }
        return toRGB(x);
    }

private:
    Vector clamped(Vector x) const
    {
        for (std::size_t i = 0; i < kChannels; ++i)
            x[i] = std::clamp(x[i], lo_[i], hi_[i]);
        return x;
    }

    Vector errorAt(const Vector& x, const Vector& y) const
    {
        const Vector out = toVector(table_.sample(toRGB(x)));
        return {out[0] - y[0], out[1] - y[1], out[2] - y[2]};
    }

    // The change of the lookup along each input channel, one-sided inward at the domain's edges.
    Matrix jacobianAt(const Vector& x) const
    {
        const Vector here = toVector(table_.sample(toRGB(x)));
        Matrix m{};
        for (std::size_t i = 0; i < kChannels; ++i) {
            Vector moved = x;
            const double h = x[i] + step_[i] <= hi_[i] ? step_[i] : -step_[i];
            moved[i] += h;
            const Vector there = toVector(table_.sample(toRGB(moved)));
            const double actual = moved[i] - x[i];
            for (std::size_t j = 0; j < kChannels; ++j)
                m[i][j] = (there[j] - here[j]) / actual;
        }
        return m;
    }

    const LUT3D& table_;
    Vector lo_{};
    Vector hi_{};
    Vector step_{};
};

// The differences from a node to its next neighbour along each axis (the previous one at the
// last index, reversed so that both point towards rising inputs).
Matrix cellDifferences(const LUT3D& table, std::int64_t r, std::int64_t g, std::int64_t b)
{
    const std::int64_t last = table.size() - 1;
    const std::array<std::int64_t, kChannels> node = {r, g, b};
    Matrix m{};
    for (std::size_t axis = 0; axis < kChannels; ++axis) {
        std::array<std::int64_t, kChannels> from = node;
        std::array<std::int64_t, kChannels> to = node;
        if (node[axis] < last)
            ++to[axis];
        else
            --from[axis];
        m[axis] = toVector(table(to[0], to[1], to[2]) - table(from[0], from[1], from[2]));
    }
    return m;
}

std::string foldText(std::array<std::int64_t, 3> node, RGB input, const std::string& how)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "The LUT cannot be inverted: it folds at node (%lld, %lld, %lld), input "
                  "%.4f %.4f %.4f, where %s.",
                  static_cast<long long>(node[0]), static_cast<long long>(node[1]),
                  static_cast<long long>(node[2]), static_cast<double>(input.r),
                  static_cast<double>(input.g), static_cast<double>(input.b), how.c_str());
    return text;
}

// Why the table folds at the node, or nothing.
std::optional<std::string> foldAt(const LUT3D& table, std::int64_t r, std::int64_t g,
                                  std::int64_t b)
{
    const Matrix m = cellDifferences(table, r, g, b);
    for (std::size_t axis = 0; axis < kChannels; ++axis) {
        if (m[axis][axis] < -kFallTolerance)
            return std::string("the ") + kChannelNames[axis] + " output falls as the " +
                   kChannelNames[axis] + " input rises";
    }
    const double cell = 1.0 / static_cast<double>(table.size() - 1);
    double lengths = 1.0;
    for (const Vector& edge : m) {
        const double length = std::sqrt(edge[0] * edge[0] + edge[1] * edge[1] + edge[2] * edge[2]);
        if (length < kFlatEdge * cell)
            return std::nullopt;
        lengths *= length;
    }
    if (determinant(m) < -kFlipTolerance * lengths)
        return std::string("its outputs cross over, turning the colour cube inside out");
    return std::nullopt;
}

}  // namespace

LUTFoldError::LUTFoldError(std::array<std::int64_t, 3> node, RGB input, const std::string& how)
    : std::runtime_error(foldText(node, input, how)), node_(node)
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

std::optional<std::array<std::int64_t, 3>> firstFold(const LUT3D& table)
{
    const std::int64_t n = table.size();
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r)
                if (foldAt(table, r, g, b))
                    return std::array<std::int64_t, 3>{r, g, b};
    return std::nullopt;
}

LUT3D invert(const LUT3D& table, std::int64_t size)
{
    LUMIVERT_PRECONDITION(size >= LUTFormat::minSize && size <= LUTFormat::maxSize,
                          "an inverse table has a size a LUT file can hold");
    if (const auto node = firstFold(table)) {
        const std::vector<float> axis = LUT3D::latticeAxis(table.size());
        const RGB input = table.domain().at({axis[static_cast<std::size_t>((*node)[0])],
                                             axis[static_cast<std::size_t>((*node)[1])],
                                             axis[static_cast<std::size_t>((*node)[2])]});
        throw LUTFoldError(*node, input, *foldAt(table, (*node)[0], (*node)[1], (*node)[2]));
    }
    const Inverter inverter(table);
    const LUTDomain& domain = table.domain();
    return LUT3D::buildUnclamped(
        size, [&](const RGB& place) { return inverter.inputFor(domain.at(place)); }, domain);
}

}  // namespace LUTAlgebra

}  // namespace lumivert
