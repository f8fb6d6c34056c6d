#include "learners/OverallEdit.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace lumivert {

namespace {

constexpr int curveKnots = OverallEdit::knotCount;
constexpr int unknowns = 3 * curveKnots;
// Curve and matrix steps alternate; from the second round on, residuals reweight the pairs.
constexpr int rounds = 8;
// Second-difference penalty per knot, relative to the mean weight a knot receives: enough to
// continue a curve straight past the data, small against a photo's own tonal detail.
constexpr double curveSmoothness = 1e-3;
// A faint pull of the curves towards straight, so a channel without data stays defined.
constexpr double curveRidge = 1e-7;
constexpr double matrixRidge = 1e-9;
// Cauchy weights at 2.385 robust standard deviations (95 % efficiency for normal residuals),
// the deviation taken from the median absolute residual and never below a quarter level.
constexpr double cauchyScale = 2.385;
constexpr double madToSigma = 1.4826;
constexpr double minSigma = 0.25 / 255.0;

struct KnotCell {
    int knot;
    double fraction;
};

KnotCell knotCell(float x)
{
    const double t = static_cast<double>(clamp01(x)) * (curveKnots - 1);
    const int knot = std::min(curveKnots - 2, static_cast<int>(std::floor(t)));
    return {knot, t - knot};
}

double channel(const RGB& c, int i) { return i == 0 ? c.r : (i == 1 ? c.g : c.b); }

// Solves the symmetric positive definite system a x = b (row-major, size × size) by Cholesky.
std::vector<double> solveSymmetric(std::vector<double> a, std::vector<double> b, int size)
{
    for (int j = 0; j < size; ++j) {
        double d = a[static_cast<std::size_t>(j * size + j)];
        for (int k = 0; k < j; ++k)
            d -= a[static_cast<std::size_t>(j * size + k)] *
                 a[static_cast<std::size_t>(j * size + k)];
        const double root = std::sqrt(std::max(d, 1e-300));
        a[static_cast<std::size_t>(j * size + j)] = root;
        for (int i = j + 1; i < size; ++i) {
            double s = a[static_cast<std::size_t>(i * size + j)];
            for (int k = 0; k < j; ++k)
                s -= a[static_cast<std::size_t>(i * size + k)] *
                     a[static_cast<std::size_t>(j * size + k)];
            a[static_cast<std::size_t>(i * size + j)] = s / root;
        }
    }
    for (int i = 0; i < size; ++i) {
        double s = b[static_cast<std::size_t>(i)];
        for (int k = 0; k < i; ++k)
            s -= a[static_cast<std::size_t>(i * size + k)] * b[static_cast<std::size_t>(k)];
        b[static_cast<std::size_t>(i)] = s / a[static_cast<std::size_t>(i * size + i)];
    }
    for (int i = size - 1; i >= 0; --i) {
        double s = b[static_cast<std::size_t>(i)];
        for (int k = i + 1; k < size; ++k)
            s -= a[static_cast<std::size_t>(k * size + i)] * b[static_cast<std::size_t>(k)];
        b[static_cast<std::size_t>(i)] = s / a[static_cast<std::size_t>(i * size + i)];
    }
    return b;
}

// Pool-adjacent-violators: the closest non-decreasing sequence in least squares.
void makeNonDecreasing(std::array<float, curveKnots>& knots)
{
    std::array<double, curveKnots> value{};
    std::array<int, curveKnots> count{};
    int blocks = 0;
    for (int k = 0; k < curveKnots; ++k) {
        value[static_cast<std::size_t>(blocks)] = knots[static_cast<std::size_t>(k)];
        count[static_cast<std::size_t>(blocks)] = 1;
        ++blocks;
        while (blocks > 1 && value[static_cast<std::size_t>(blocks - 2)] >
                                 value[static_cast<std::size_t>(blocks - 1)]) {
            const auto a = static_cast<std::size_t>(blocks - 2);
            const auto b = static_cast<std::size_t>(blocks - 1);
            value[a] = (value[a] * count[a] + value[b] * count[b]) / (count[a] + count[b]);
            count[a] += count[b];
            --blocks;
        }
    }
    int k = 0;
    for (int block = 0; block < blocks; ++block)
        for (int j = 0; j < count[static_cast<std::size_t>(block)]; ++j, ++k)
            knots[static_cast<std::size_t>(k)] =
                static_cast<float>(value[static_cast<std::size_t>(block)]);
}

// The curves read at a colour, before the matrix.
std::array<double, 3> curved(const OverallEdit& model, const RGB& input)
{
    std::array<double, 3> out{};
    for (int c = 0; c < 3; ++c) {
        const KnotCell cell = knotCell(static_cast<float>(channel(input, c)));
        const auto& knots = model.curves[static_cast<std::size_t>(c)];
        out[static_cast<std::size_t>(c)] =
            (1.0 - cell.fraction) * knots[static_cast<std::size_t>(cell.knot)] +
            cell.fraction * knots[static_cast<std::size_t>(cell.knot + 1)];
    }
    return out;
}

std::array<double, 3> predicted(const OverallEdit& model, const RGB& input)
{
    const std::array<double, 3> f = curved(model, input);
    std::array<double, 3> out{};
    for (int o = 0; o < 3; ++o)
        for (int c = 0; c < 3; ++c)
            out[static_cast<std::size_t>(o)] +=
                model.matrix[static_cast<std::size_t>(3 * o + c)] * f[static_cast<std::size_t>(c)];
    return out;
}

// The curves that best fit the pairs through the current matrix, made non-decreasing.
void fitCurves(OverallEdit& model, std::span<const RGB> before, std::span<const RGB> after,
               std::span<const double> weights)
{
    std::vector<double> normal(static_cast<std::size_t>(unknowns * unknowns));
    std::vector<double> rhs(static_cast<std::size_t>(unknowns));
    double totalWeight = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const double w = weights[i];
        totalWeight += w;
        std::array<int, 6> index{};
        std::array<double, 6> basis{};
        for (int c = 0; c < 3; ++c) {
            const KnotCell cell = knotCell(static_cast<float>(channel(clamp01(before[i]), c)));
            index[static_cast<std::size_t>(2 * c)] = c * curveKnots + cell.knot;
            index[static_cast<std::size_t>(2 * c + 1)] = c * curveKnots + cell.knot + 1;
            basis[static_cast<std::size_t>(2 * c)] = 1.0 - cell.fraction;
            basis[static_cast<std::size_t>(2 * c + 1)] = cell.fraction;
        }
        const RGB y = clamp01(after[i]);
        for (int o = 0; o < 3; ++o) {
            std::array<double, 6> row{};
            for (std::size_t j = 0; j < 6; ++j)
                row[j] = model.matrix[static_cast<std::size_t>(3 * o) + j / 2] * basis[j];
            for (std::size_t j = 0; j < 6; ++j) {
                const auto rj = static_cast<std::size_t>(index[j]);
                rhs[rj] += w * row[j] * channel(y, o);
                for (std::size_t k = 0; k < 6; ++k)
                    normal[rj * unknowns + static_cast<std::size_t>(index[k])] +=
                        w * row[j] * row[k];
            }
        }
    }
    const double perKnot = std::max(totalWeight, 1.0) / curveKnots;
    const double smooth = curveSmoothness * perKnot;
    const double ridge = curveRidge * perKnot;
    for (int c = 0; c < 3; ++c) {
        for (int k = 1; k + 1 < curveKnots; ++k) {
            const std::array<int, 3> at = {c * curveKnots + k - 1, c * curveKnots + k,
                                           c * curveKnots + k + 1};
            const std::array<double, 3> d = {1.0, -2.0, 1.0};
            for (std::size_t a = 0; a < 3; ++a)
                for (std::size_t b = 0; b < 3; ++b)
                    normal[static_cast<std::size_t>(at[a] * unknowns + at[b])] +=
                        smooth * d[a] * d[b];
        }
        for (int k = 0; k < curveKnots; ++k) {
            const auto i = static_cast<std::size_t>(c * curveKnots + k);
            normal[i * unknowns + i] += ridge;
            rhs[i] += ridge * k / (curveKnots - 1.0);
        }
    }
    const std::vector<double> knots = solveSymmetric(std::move(normal), std::move(rhs), unknowns);
    for (int c = 0; c < 3; ++c) {
        auto& curve = model.curves[static_cast<std::size_t>(c)];
        for (int k = 0; k < curveKnots; ++k)
            curve[static_cast<std::size_t>(k)] =
                static_cast<float>(knots[static_cast<std::size_t>(c * curveKnots + k)]);
        makeNonDecreasing(curve);
    }
}

// Each output row of the matrix by weighted least squares on the curved colours.
void fitMatrix(OverallEdit& model, std::span<const RGB> before, std::span<const RGB> after,
               std::span<const double> weights)
{
    std::vector<double> normal(9);
    std::array<std::vector<double>, 3> rhs = {std::vector<double>(3), std::vector<double>(3),
                                              std::vector<double>(3)};
    for (std::size_t i = 0; i < before.size(); ++i) {
        const std::array<double, 3> f = curved(model, clamp01(before[i]));
        const RGB y = clamp01(after[i]);
        for (std::size_t a = 0; a < 3; ++a) {
            for (std::size_t b = 0; b < 3; ++b)
                normal[3 * a + b] += weights[i] * f[a] * f[b];
            for (int o = 0; o < 3; ++o)
                rhs[static_cast<std::size_t>(o)][a] += weights[i] * f[a] * channel(y, o);
        }
    }
    const double ridge = matrixRidge * std::max(normal[0] + normal[4] + normal[8], 1.0);
    for (std::size_t a = 0; a < 3; ++a)
        normal[4 * a] += ridge;
    for (int o = 0; o < 3; ++o) {
        // The ridge pulls towards the current row, not towards zero.
        std::vector<double> b = rhs[static_cast<std::size_t>(o)];
        for (std::size_t a = 0; a < 3; ++a)
            b[a] += ridge * model.matrix[static_cast<std::size_t>(3 * o) + a];
        const std::vector<double> row = solveSymmetric(normal, std::move(b), 3);
        for (std::size_t a = 0; a < 3; ++a)
            model.matrix[static_cast<std::size_t>(3 * o) + a] = static_cast<float>(row[a]);
    }
}

// Cauchy weights from the current residuals.
void reweight(const OverallEdit& model, std::span<const RGB> before, std::span<const RGB> after,
              std::vector<double>& weights)
{
    std::vector<double> residual(before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        const std::array<double, 3> p = predicted(model, clamp01(before[i]));
        const RGB y = clamp01(after[i]);
        double sum = 0;
        for (int o = 0; o < 3; ++o) {
            const double d = p[static_cast<std::size_t>(o)] - channel(y, o);
            sum += d * d;
        }
        residual[i] = std::sqrt(sum / 3.0);
    }
    std::vector<double> sorted = residual;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    const double scale = cauchyScale * std::max(madToSigma * *middle, minSigma);
    for (std::size_t i = 0; i < residual.size(); ++i) {
        const double u = residual[i] / scale;
        weights[i] = 1.0 / (1.0 + u * u);
    }
}

}  // namespace

OverallEdit OverallEdit::identity()
{
    OverallEdit model;
    for (auto& curve : model.curves)
        for (int k = 0; k < curveKnots; ++k)
            curve[static_cast<std::size_t>(k)] = static_cast<float>(k) / (curveKnots - 1);
    model.matrix = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    return model;
}

RGB OverallEdit::apply(const RGB& input) const
{
    const std::array<double, 3> p = predicted(*this, clamp01(input));
    return clamp01(
        RGB{static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])});
}

OverallEdit OverallEdit::fit(std::span<const RGB> before, std::span<const RGB> after)
{
    LUMIVERT_PRECONDITION(before.size() == after.size(), "colour pairs come in equal counts");
    OverallEdit model = identity();
    if (before.empty())
        return model;
    std::vector<double> weights(before.size(), 1.0);
    for (int round = 0; round < rounds; ++round) {
        if (round > 0)
            reweight(model, before, after, weights);
        fitCurves(model, before, after, weights);
        fitMatrix(model, before, after, weights);
    }
    return model;
}

}  // namespace lumivert
