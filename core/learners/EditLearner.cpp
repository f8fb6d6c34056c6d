#include "learners/EditLearner.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"
#include "learners/LatticeBand.hpp"
#include "learners/OverallEdit.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace lumivert {

namespace {

constexpr float aspectTolerance = 0.02f;
constexpr std::int64_t fitSamples = 400000;
constexpr std::int64_t checkSamples = 20000;
constexpr float coveredDiagonal = 1e-6f;
constexpr float minSmoothness = 1e-5f;
// Far beyond the application's 0.5; keeps λ finite when a caller passes infinity.
constexpr float maxSmoothness = 1e6f;
constexpr float ridgeWeight = 1e-4f;
constexpr double levels = 255.0;

constexpr const char* differentShapesMessage =
    "The before and after images have different shapes. Use the same photo, exported at the "
    "same crop.";

// Corner j of a cell steps by its bit 0 in red, bit 1 in green, bit 2 in blue; this is the
// slot shift dx + 3 dy + 9 dz of that step, so corner k sits in slot 13 + shift_k − shift_j of
// corner j's row.
constexpr std::array<int, 8> cornerSlotShift = {0, 1, 3, 4, 9, 10, 12, 13};

// The six axis neighbours in the order −red, +red, −green, +green, −blue, +blue.
constexpr std::array<int, 6> neighbourSlots = {
    LatticeBand::slot(-1, 0, 0), LatticeBand::slot(1, 0, 0),  LatticeBand::slot(0, -1, 0),
    LatticeBand::slot(0, 1, 0),  LatticeBand::slot(0, 0, -1), LatticeBand::slot(0, 0, 1)};

std::int64_t nodeCount(std::int64_t gridSize)
{
    LUMIVERT_PRECONDITION(gridSize >= 2, "an edit lattice needs at least 2 points per axis");
    return checkedMul(checkedMul(gridSize, gridSize), gridSize);
}

// Both buffers at one size, or differentShapes when their aspect ratios differ by 2 % or more.
std::pair<PixelBuffer, PixelBuffer> sameShape(const PixelBuffer& before, const PixelBuffer& after)
{
    if (before.width() == after.width() && before.height() == after.height())
        return {before, after};
    const float ratioBefore =
        static_cast<float>(before.width()) / static_cast<float>(before.height());
    const float ratioAfter = static_cast<float>(after.width()) / static_cast<float>(after.height());
    const float difference = std::fabs(ratioBefore - ratioAfter) / ratioBefore;
    if (!(difference < aspectTolerance))
        throw EditLearnerError::differentShapes();
    const std::int64_t width = std::min(before.width(), after.width());
    const std::int64_t height = std::min(before.height(), after.height());
    return {before.resized(width, height), after.resized(width, height)};
}

std::int64_t stride(std::int64_t pixels, std::int64_t samples)
{
    return pixels >= samples ? pixels / samples : 1;
}

// Where one channel falls on the lattice: an input of exactly 1 lands in the last cell with
// fraction 1, as in the LUT's own lookup.
struct AxisCell {
    std::int64_t cell;
    float fraction;
};

AxisCell axisCell(float x, float last, std::int64_t lastCell)
{
    const float t = last * x;
    const std::int64_t cell = std::min(lastCell, static_cast<std::int64_t>(std::floor(t)));
    return {cell, t - static_cast<float>(cell)};
}

// Adds one before/after pair to the normal equations with the trilinear weights with which the
// finished LUT will read its corners back.
class Accumulator {
public:
    explicit Accumulator(std::int64_t n)
        : n_(n), last_(static_cast<float>(n - 1)),
          normal_(static_cast<std::size_t>(checkedMul(LatticeBand::slotCount, nodeCount(n)))),
          rhs_(static_cast<std::size_t>(nodeCount(n)))
    {
        const std::int64_t n2 = n * n;
        corners_ = {0, 1, n, n + 1, n2, n2 + 1, n2 + n, n2 + n + 1};
    }

    void add(const RGB& before, const RGB& after)
    {
        const RGB x = clamp01(before);
        const RGB delta = clamp01(after) - x;
        const AxisCell r = axisCell(x.r, last_, n_ - 2);
        const AxisCell g = axisCell(x.g, last_, n_ - 2);
        const AxisCell b = axisCell(x.b, last_, n_ - 2);
        const std::int64_t base = r.cell + n_ * (g.cell + n_ * b.cell);
        const float wr[2] = {1.0f - r.fraction, r.fraction};
        const float wg[2] = {1.0f - g.fraction, g.fraction};
        const float wb[2] = {1.0f - b.fraction, b.fraction};
        std::array<float, 8> w{};
        for (int j = 0; j < 8; ++j)
            w[j] = wr[j & 1] * wg[(j >> 1) & 1] * wb[j >> 2];

        for (int j = 0; j < 8; ++j) {
            if (w[j] == 0.0f)
                continue;
            const std::int64_t node = base + corners_[j];
            rhs_[static_cast<std::size_t>(node)] += w[j] * delta;
            float* row = normal_.data() + node * LatticeBand::slotCount +
                         LatticeBand::diagonalSlot - cornerSlotShift[j];
            for (int k = 0; k < 8; ++k)
                row[cornerSlotShift[k]] += w[k] * w[j];
        }
    }

    std::vector<float> takeNormal() { return std::move(normal_); }
    std::vector<RGB> takeRhs() { return std::move(rhs_); }

private:
    std::int64_t n_;
    float last_;
    std::array<std::int64_t, 8> corners_{};
    std::vector<float> normal_;
    std::vector<RGB> rhs_;
};

float coverageOf(std::int64_t nodes, std::span<const float> normal)
{
    std::int64_t covered = 0;
    for (std::int64_t i = 0; i < nodes; ++i) {
        if (normal[static_cast<std::size_t>(i * LatticeBand::slotCount +
                                            LatticeBand::diagonalSlot)] > coveredDiagonal)
            ++covered;
    }
    return static_cast<float>(covered) / static_cast<float>(nodes);
}

// Mean of the diagonal entries above 1e-6, or 1 when there are none: the data's own scale.
float dataScale(std::span<const float> normal)
{
    double sum = 0.0;
    std::int64_t count = 0;
    for (std::size_t i = LatticeBand::diagonalSlot; i < normal.size();
         i += LatticeBand::slotCount) {
        if (normal[i] > coveredDiagonal) {
            sum += normal[i];
            ++count;
        }
    }
    return count > 0 ? static_cast<float>(sum / static_cast<double>(count)) : 1.0f;
}

// Root-mean-square difference, in 8-bit levels, between the LUT's lookup of the check samples'
// before colours and their after colours.
float rmsLevels(const LUT3D& lut, std::span<const RGB> before, std::span<const RGB> after)
{
    if (before.empty())
        return 0.0f;
    double sum = 0.0;
    for (std::size_t k = 0; k < before.size(); ++k) {
        const RGB d = lut.sample(before[k]) - after[k];
        sum += static_cast<double>(d.r) * d.r + static_cast<double>(d.g) * d.g +
               static_cast<double>(d.b) * d.b;
    }
    return static_cast<float>(levels * std::sqrt(sum / (3.0 * static_cast<double>(before.size()))));
}

// The band times one triple per node: the data part of the normal equations applied to a guess.
std::vector<RGB> bandTimes(std::int64_t n, std::span<const float> band, std::span<const RGB> x)
{
    std::array<std::int64_t, LatticeBand::slotCount> offsets{};
    for (int s = 0; s < LatticeBand::slotCount; ++s)
        offsets[static_cast<std::size_t>(s)] = LatticeBand::offset(s, n);
    const auto nodes = static_cast<std::int64_t>(x.size());
    std::vector<RGB> product(x.size());
    for (std::int64_t i = 0; i < nodes; ++i) {
        const float* row = band.data() + i * LatticeBand::slotCount;
        RGB sum;
        for (int s = 0; s < LatticeBand::slotCount; ++s) {
            // Entries across a lattice face are 0, so their out-of-range neighbours are skipped.
            if (row[s] == 0.0f)
                continue;
            sum += row[s] * x[static_cast<std::size_t>(i + offsets[static_cast<std::size_t>(s)])];
        }
        product[static_cast<std::size_t>(i)] = sum;
    }
    return product;
}

// The global model's correction at every node, clamped like the photos' colours.
std::vector<RGB> modelCorrection(std::int64_t n, const OverallEdit& model)
{
    std::vector<RGB> correction;
    correction.reserve(static_cast<std::size_t>(nodeCount(n)));
    const float last = static_cast<float>(n - 1);
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r) {
                const RGB input = {static_cast<float>(r) / last, static_cast<float>(g) / last,
                                   static_cast<float>(b) / last};
                correction.push_back(model.apply(input) - input);
            }
    return correction;
}

}  // namespace

EditLearnerError::EditLearnerError(Reason reason)
    : std::runtime_error(differentShapesMessage), reason_(reason)
{
}

EditLearnerError EditLearnerError::differentShapes()
{
    return EditLearnerError(Reason::differentShapes);
}

EditSystem::EditSystem(std::int64_t gridSize, std::vector<float> normal, std::vector<RGB> rhs,
                       std::vector<RGB> checkBefore, std::vector<RGB> checkAfter,
                       std::int64_t sampleCount)
{
    const std::int64_t nodes = nodeCount(gridSize);
    LUMIVERT_PRECONDITION(static_cast<std::int64_t>(normal.size()) ==
                              checkedMul(LatticeBand::slotCount, nodes),
                          "the normal matrix needs 27 entries per node");
    LUMIVERT_PRECONDITION(static_cast<std::int64_t>(rhs.size()) == nodes,
                          "the right-hand side needs one triple per node");
    LUMIVERT_PRECONDITION(checkBefore.size() == checkAfter.size(),
                          "check samples come in before/after pairs");
    LUMIVERT_PRECONDITION(sampleCount >= 0, "the sample count must not be negative");
    const float coverage = coverageOf(nodes, normal);
    data_ = std::make_shared<const Data>(Data{gridSize, std::move(normal), std::move(rhs),
                                              std::move(checkBefore), std::move(checkAfter),
                                              sampleCount, coverage});
}

bool operator==(const EditSystem& x, const EditSystem& y)
{
    if (x.data_ == y.data_)
        return true;
    const EditSystem::Data& a = *x.data_;
    const EditSystem::Data& b = *y.data_;
    return a.gridSize == b.gridSize && a.sampleCount == b.sampleCount && a.normal == b.normal &&
           a.rhs == b.rhs && a.checkBefore == b.checkBefore && a.checkAfter == b.checkAfter;
}

namespace EditLearner {

EditSystem prepare(const PixelBuffer& before, const PixelBuffer& after, std::int64_t gridSize)
{
    LUMIVERT_PRECONDITION(gridSize >= 2, "an edit lattice needs at least 2 points per axis");
    const auto [sizedBefore, sizedAfter] = sameShape(before, after);
    const std::vector<RGB>& x = sizedBefore.pixels();
    const std::vector<RGB>& y = sizedAfter.pixels();
    const auto pixels = static_cast<std::int64_t>(x.size());

    Accumulator accumulator(gridSize);
    const std::int64_t fitStep = stride(pixels, fitSamples);
    std::int64_t sampleCount = 0;
    for (std::int64_t k = 0; k < pixels; k += fitStep, ++sampleCount)
        accumulator.add(x[static_cast<std::size_t>(k)], y[static_cast<std::size_t>(k)]);

    std::vector<RGB> checkBefore;
    std::vector<RGB> checkAfter;
    const std::int64_t checkStep = stride(pixels, checkSamples);
    checkBefore.reserve(static_cast<std::size_t>((pixels + checkStep - 1) / checkStep));
    checkAfter.reserve(checkBefore.capacity());
    for (std::int64_t k = 0; k < pixels; k += checkStep) {
        checkBefore.push_back(clamp01(x[static_cast<std::size_t>(k)]));
        checkAfter.push_back(clamp01(y[static_cast<std::size_t>(k)]));
    }
    return EditSystem(gridSize, accumulator.takeNormal(), accumulator.takeRhs(),
                      std::move(checkBefore), std::move(checkAfter), sampleCount);
}

std::vector<float> regularisedNormal(const EditSystem& system, float smoothness)
{
    const std::int64_t n = system.gridSize();
    std::vector<float> band(system.normal().begin(), system.normal().end());
    // clamp() sends NaN to the lower bound.
    const float lambda = dataScale(band) * clamp(smoothness, minSmoothness, maxSmoothness);
    const float ridge = lambda * ridgeWeight;
    float* row = band.data();
    for (std::int64_t b = 0; b < n; ++b) {
        for (std::int64_t g = 0; g < n; ++g) {
            for (std::int64_t r = 0; r < n; ++r, row += LatticeBand::slotCount) {
                const std::array<bool, 6> inside = {(r > 0),     (r < n - 1), (g > 0),
                                                    (g < n - 1), (b > 0),     (b < n - 1)};
                for (std::size_t k = 0; k < neighbourSlots.size(); ++k) {
                    if (!inside[k])
                        continue;
                    row[LatticeBand::diagonalSlot] += lambda;
                    row[neighbourSlots[k]] -= lambda;
                }
                row[LatticeBand::diagonalSlot] += ridge;
            }
        }
    }
    return band;
}

EditFit solve(const EditSystem& system, float smoothness, EditPrior prior)
{
    const std::int64_t n = system.gridSize();
    const std::vector<float> band = regularisedNormal(system, smoothness);
    LatticeBand::Solution correction;
    if (prior == EditPrior::noChange) {
        correction = LatticeBand::solve(n, band, system.rhs());
    } else {
        // Solving for the departure e = d − m from the model's correction m: the data term's
        // right-hand side loses Aᵀ A m, and the prior then pulls e, not d, towards zero.
        const std::vector<RGB> model =
            modelCorrection(n, OverallEdit::fit(system.checkBefore(), system.checkAfter()));
        std::vector<RGB> rhs = bandTimes(n, system.normal(), model);
        for (std::size_t i = 0; i < rhs.size(); ++i)
            rhs[i] = system.rhs()[i] - rhs[i];
        correction = LatticeBand::solve(n, band, rhs);
        for (std::size_t i = 0; i < model.size(); ++i)
            correction.x[i] += model[i];
    }

    std::vector<RGB> values;
    values.reserve(correction.x.size());
    const float last = static_cast<float>(n - 1);
    const RGB* d = correction.x.data();
    for (std::int64_t b = 0; b < n; ++b) {
        for (std::int64_t g = 0; g < n; ++g) {
            for (std::int64_t r = 0; r < n; ++r, ++d) {
                const RGB input = {static_cast<float>(r) / last, static_cast<float>(g) / last,
                                   static_cast<float>(b) / last};
                values.push_back(clamp01(input + *d));
            }
        }
    }
    LUT3D lut(n, std::move(values));
    const float rmsError = rmsLevels(lut, system.checkBefore(), system.checkAfter());
    return {std::move(lut), rmsError, system.coverage(), correction.iterations,
            prior == EditPrior::overallEdit};
}

}  // namespace EditLearner

}  // namespace lumivert
