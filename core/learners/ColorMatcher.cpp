#include "learners/ColorMatcher.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"
#include "learners/Bands.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace lumivert {

namespace {

constexpr std::int64_t maxSamples = 250000;
constexpr int histogramBins = 1024;
constexpr float bins = static_cast<float>(histogramBins);
constexpr std::int64_t tableSize = 1024;

// Histogram matching is guarded below the 0.2 % and above the 99.8 % source lightness.
constexpr float blackFraction = 0.002f;
constexpr float whiteFraction = 0.998f;
constexpr float toneSigma = 24.0f;
constexpr float rankSigma = 3.0f;
constexpr float minToneSlope = 0.5f;
constexpr float maxToneSlope = 2.0f;

// A band needs more than this total membership to be measured rather than copied.
constexpr double minBandWeight = 20.0;
// Added to both variances so every covariance is positive definite.
constexpr double varianceFloor = 1e-5;
constexpr Symmetric2 fallbackCovariance = {0.001f, 0.0f, 0.001f};
constexpr float minGain = 0.5f;
constexpr float maxGain = 2.0f;
constexpr float axisAlignedBelow = 1e-9f;
constexpr float squareRootFloor = 1e-12f;

// Samples per partial sum: sums are formed per fixed block and combined in block order, so the
// result does not depend on how many threads share the blocks.
constexpr std::int64_t blockSize = 8192;

// A general 2 × 2 matrix, row-major, for the products inside the transfer.
struct Matrix2 {
    float m00, m01, m10, m11;
};

Matrix2 full(const Symmetric2& s) { return {s.m00, s.m01, s.m01, s.m11}; }

Matrix2 operator*(const Matrix2& x, const Matrix2& y)
{
    return {x.m00 * y.m00 + x.m01 * y.m10, x.m00 * y.m01 + x.m01 * y.m11,
            x.m10 * y.m00 + x.m11 * y.m10, x.m10 * y.m01 + x.m11 * y.m11};
}

// The products below are symmetric in exact arithmetic; rounding is evened out here.
Symmetric2 symmetrised(const Matrix2& m) { return {m.m00, (m.m01 + m.m10) / 2.0f, m.m11}; }

Matrix2 inverse(const Symmetric2& s)
{
    const float determinant = s.m00 * s.m11 - s.m01 * s.m01;
    return {s.m11 / determinant, -s.m01 / determinant, -s.m01 / determinant, s.m00 / determinant};
}

// Membership-weighted chroma moments of one band, or plain moments of a whole image. Summed in
// double: a covariance is a small difference of two sums over up to 250,000 samples.
struct Moments {
    double weight = 0;
    double a = 0;
    double b = 0;
    double aa = 0;
    double ab = 0;
    double bb = 0;

    void add(double m, double x, double y)
    {
        weight += m;
        a += m * x;
        b += m * y;
        aa += m * x * x;
        ab += m * x * y;
        bb += m * y * y;
    }

    Moments& operator+=(const Moments& o)
    {
        weight += o.weight;
        a += o.a;
        b += o.b;
        aa += o.aa;
        ab += o.ab;
        bb += o.bb;
        return *this;
    }
};

struct BandStatistic {
    Chroma mean;
    Symmetric2 cov;
};

using Bands = std::array<BandStatistic, ColorMatcher::bandCount>;

// Mean and covariance of moments with a positive weight, variances floored.
BandStatistic statistic(const Moments& m)
{
    const double meanA = m.a / m.weight;
    const double meanB = m.b / m.weight;
    return {{static_cast<float>(meanA), static_cast<float>(meanB)},
            {static_cast<float>(m.aa / m.weight - meanA * meanA + varianceFloor),
             static_cast<float>(m.ab / m.weight - meanA * meanB),
             static_cast<float>(m.bb / m.weight - meanB * meanB + varianceFloor)}};
}

struct Accumulation {
    std::array<Moments, ColorMatcher::bandCount> bands;
    Moments global;

    Accumulation& operator+=(const Accumulation& o)
    {
        for (std::size_t k = 0; k < bands.size(); ++k)
            bands[k] += o.bands[k];
        global += o.global;
        return *this;
    }
};

// One image reduced to what the analysis compares.
struct ImageStatistics {
    std::vector<float> histogram;  // lightness, histogramBins bins over [0, 1]
    float total = 0;
    std::vector<float> cumulative;
    Bands bands;
    Symmetric2 globalCovariance;
};

std::vector<Lab> oklabSamples(const PixelBuffer& image)
{
    const std::vector<RGB> colours = image.samples(maxSamples);
    const auto count = static_cast<std::int64_t>(colours.size());
    std::vector<Lab> samples(colours.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < count; ++i)
        samples[static_cast<std::size_t>(i)] = ColorMath::srgbToOklab(colours[i]);
    // A pixel that is not a number carries no colour; kept, it would poison every sum.
    std::erase_if(samples, [](const Lab& lab) {
        return !std::isfinite(lab.L) || !std::isfinite(lab.a) || !std::isfinite(lab.b);
    });
    return samples;
}

std::vector<float> lightnessHistogram(const std::vector<Lab>& samples)
{
    std::vector<float> histogram(histogramBins, 0.0f);
    for (const Lab& lab : samples) {
        const int bin = std::min(histogramBins - 1, static_cast<int>(clamp01(lab.L) * bins));
        histogram[static_cast<std::size_t>(bin)] += 1.0f;
    }
    return histogram;
}

Accumulation accumulate(const std::vector<Lab>& samples, std::span<const float> cumulative)
{
    const auto count = static_cast<std::int64_t>(samples.size());
    const std::int64_t blocks = (count + blockSize - 1) / blockSize;
    std::vector<Accumulation> partial(static_cast<std::size_t>(blocks));
#pragma omp parallel for schedule(static)
    for (std::int64_t block = 0; block < blocks; ++block) {
        Accumulation& sums = partial[static_cast<std::size_t>(block)];
        const std::int64_t end = std::min(count, (block + 1) * blockSize);
        for (std::int64_t i = block * blockSize; i < end; ++i) {
            const Lab& lab = samples[static_cast<std::size_t>(i)];
            sums.global.add(1.0, lab.a, lab.b);
            const BandSplit split =
                bandSplit(ColorMatcher::rank(lab.L, cumulative), ColorMatcher::bandCount);
            const auto first = static_cast<std::size_t>(split.first);
            sums.bands[first].add(1.0f - split.fraction, lab.a, lab.b);
            if (split.fraction > 0.0f)
                sums.bands[first + 1].add(split.fraction, lab.a, lab.b);
        }
    }
    Accumulation total;
    for (const Accumulation& sums : partial)
        total += sums;
    return total;
}

// Thin bands copy the nearest measured band (lower side first at equal distance; bands filled
// earlier count as measured); no measured band at all gives neutral statistics.
Bands filledBands(const std::array<Moments, ColorMatcher::bandCount>& moments)
{
    constexpr int count = ColorMatcher::bandCount;
    std::array<std::optional<BandStatistic>, count> measured;
    for (int k = 0; k < count; ++k)
        if (moments[k].weight > minBandWeight)
            measured[k] = statistic(moments[k]);
    Bands bands;
    if (std::none_of(measured.begin(), measured.end(),
                     [](const auto& m) { return m.has_value(); })) {
        bands.fill({{0.0f, 0.0f}, fallbackCovariance});
        return bands;
    }
    for (int k = 0; k < count; ++k) {
        for (int d = 1; !measured[k] && d < count; ++d) {
            if (k - d >= 0 && measured[k - d])
                measured[k] = measured[k - d];
            else if (k + d < count && measured[k + d])
                measured[k] = measured[k + d];
        }
        bands[k] = *measured[k];
    }
    return bands;
}

// One (¼, ½, ¼) pass over the band means, ends replicated; covariances stay as measured.
void smoothMeans(Bands& bands)
{
    std::array<Chroma, ColorMatcher::bandCount> means;
    for (std::size_t k = 0; k < bands.size(); ++k)
        means[k] = bands[k].mean;
    const std::size_t last = bands.size() - 1;
    for (std::size_t k = 0; k <= last; ++k) {
        const Chroma& below = means[k == 0 ? 0 : k - 1];
        const Chroma& above = means[k == last ? last : k + 1];
        bands[k].mean = below * 0.25f + means[k] * 0.5f + above * 0.25f;
    }
}

Symmetric2 globalCovariance(const Moments& m)
{
    if (!(m.weight > 0.0))
        return fallbackCovariance;
    return statistic(m).cov;
}

ImageStatistics measure(const PixelBuffer& image)
{
    const std::vector<Lab> samples = oklabSamples(image);
    ImageStatistics stats;
    stats.histogram = lightnessHistogram(samples);
    stats.total = static_cast<float>(samples.size());
    stats.cumulative = ColorMatcher::cumulativeHistogram(stats.histogram, stats.total);
    const Accumulation sums = accumulate(samples, stats.cumulative);
    stats.bands = filledBands(sums.bands);
    smoothMeans(stats.bands);
    stats.globalCovariance = globalCovariance(sums.global);
    return stats;
}

float percentile(const ImageStatistics& image, float fraction)
{
    return histogramPercentile(image.histogram, fraction, image.total, 0.0f, 1.0f);
}

// Histogram matching between the source's 0.2 % and 99.8 % points, straight segments outside
// them whose slopes never exceed 1, so noise in the extreme tails cannot stretch the ends.
std::vector<float> rawToneTable(const ImageStatistics& source, const ImageStatistics& reference)
{
    const float sb = percentile(source, blackFraction);
    const float sw = percentile(source, whiteFraction);
    const float rb = percentile(reference, ColorMatcher::rank(sb, source.cumulative));
    const float rw = percentile(reference, ColorMatcher::rank(sw, source.cumulative));
    const float lift = std::max(rb - sb, 0.0f);
    const float top = std::min(rw + (1.0f - sw), 1.0f);
    const float last = static_cast<float>(tableSize - 1);
    std::vector<float> table(static_cast<std::size_t>(tableSize));
    for (std::int64_t i = 0; i < tableSize; ++i) {
        const float x = static_cast<float>(i) / last;
        float value = 0.0f;
        if (x <= sb)
            value = sb > 0.0f ? lift + (x / sb) * (rb - lift) : rb;
        else if (x >= sw)
            value = sw < 1.0f ? rw + (x - sw) / (1.0f - sw) * (top - rw) : rw;
        else
            value = percentile(reference, ColorMatcher::rank(x, source.cumulative));
        table[static_cast<std::size_t>(i)] = value;
    }
    return table;
}

Curve1D toneMap(const ImageStatistics& source, const ImageStatistics& reference)
{
    std::vector<float> table =
        ColorMatcher::gaussianSmoothed(rawToneTable(source, reference), toneSigma);
    const float last = static_cast<float>(tableSize - 1);
    const auto anchor = static_cast<std::int64_t>(percentile(source, 0.5f) * last);
    table = ColorMatcher::slopeLimited(table, anchor, minToneSlope, maxToneSlope);
    for (float& value : table)
        value = clamp01(value);
    return Curve1D(std::move(table));
}

Curve1D rankCurve(const ImageStatistics& source)
{
    std::vector<float> table(static_cast<std::size_t>(tableSize));
    const float last = static_cast<float>(tableSize - 1);
    for (std::int64_t i = 0; i < tableSize; ++i)
        table[static_cast<std::size_t>(i)] =
            ColorMatcher::rank(static_cast<float>(i) / last, source.cumulative);
    return Curve1D(ColorMatcher::gaussianSmoothed(std::move(table), rankSigma));
}

}  // namespace

namespace ColorMatcher {

MatchAnalysis analyse(const PixelBuffer& source, const PixelBuffer& reference)
{
    const ImageStatistics sourceStats = measure(source);
    const ImageStatistics referenceStats = measure(reference);
    const Symmetric2 global =
        transferMatrix(sourceStats.globalCovariance, referenceStats.globalCovariance);
    std::vector<BandTransfer> bands;
    bands.reserve(bandCount);
    for (std::size_t k = 0; k < bandCount; ++k) {
        const BandStatistic& from = sourceStats.bands[k];
        const BandStatistic& to = referenceStats.bands[k];
        const Symmetric2 band = transferMatrix(from.cov, to.cov);
        // Half global, half per band: a thin band cannot swing far from the whole image.
        const Symmetric2 matrix = {(global.m00 + band.m00) / 2.0f, (global.m01 + band.m01) / 2.0f,
                                   (global.m11 + band.m11) / 2.0f};
        bands.push_back({from.mean, to.mean, matrix});
    }
    return {toneMap(sourceStats, referenceStats), rankCurve(sourceStats), std::move(bands)};
}

std::vector<float> cumulativeHistogram(std::span<const float> histogram, float total)
{
    const std::size_t n = histogram.size();
    std::vector<float> cumulative(n + 1, 0.0f);
    if (!(total > 0.0f)) {
        for (std::size_t i = 0; i <= n; ++i)
            cumulative[i] = static_cast<float>(i) / static_cast<float>(n);
        return cumulative;
    }
    float running = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        running += histogram[i];
        cumulative[i + 1] = running / total;
    }
    return cumulative;
}

float rank(float lightness, std::span<const float> cumulative)
{
    LUMIVERT_PRECONDITION(cumulative.size() >= 2, "a cumulative histogram has at least 2 entries");
    const auto n = static_cast<std::int64_t>(cumulative.size()) - 1;
    const float x = clamp01(lightness) * static_cast<float>(n);
    const std::int64_t i = std::min(n - 1, static_cast<std::int64_t>(x));
    const auto k = static_cast<std::size_t>(i);
    return cumulative[k] + (x - static_cast<float>(i)) * (cumulative[k + 1] - cumulative[k]);
}

std::vector<float> gaussianSmoothed(std::vector<float> values, float sigma)
{
    if (!(sigma > 0.0f) || values.size() < 3)
        return values;
    const auto radius = static_cast<std::int64_t>(std::ceil(3.0f * sigma));
    std::vector<float> weights;
    double weightSum = 0.0;
    for (std::int64_t o = -radius; o <= radius; ++o) {
        const float offset = static_cast<float>(o);
        weights.push_back(std::exp(-offset * offset / (2.0f * sigma * sigma)));
        weightSum += weights.back();
    }
    const auto last = static_cast<std::int64_t>(values.size()) - 1;
    std::vector<float> out(values.size());
    for (std::int64_t j = 0; j <= last; ++j) {
        double sum = 0.0;
        for (std::int64_t o = -radius; o <= radius; ++o)
            sum += static_cast<double>(weights[static_cast<std::size_t>(o + radius)]) *
                   values[static_cast<std::size_t>(std::clamp(j + o, std::int64_t{0}, last))];
        out[static_cast<std::size_t>(j)] = static_cast<float>(sum / weightSum);
    }
    return out;
}

std::vector<float> slopeLimited(std::span<const float> values, std::int64_t anchor, float lo,
                                float hi)
{
    std::vector<float> out(values.begin(), values.end());
    const auto n = static_cast<std::int64_t>(values.size());
    if (n < 2)
        return out;
    const float minStep = lo / static_cast<float>(n - 1);
    const float maxStep = hi / static_cast<float>(n - 1);
    const auto step = [&](std::int64_t i) {
        const auto k = static_cast<std::size_t>(i);
        return clamp(values[k + 1] - values[k], minStep, maxStep);  // NaN becomes minStep
    };
    const std::int64_t a = std::clamp(anchor, std::int64_t{0}, n - 1);
    for (std::int64_t i = a; i < n - 1; ++i)
        out[static_cast<std::size_t>(i + 1)] = out[static_cast<std::size_t>(i)] + step(i);
    for (std::int64_t i = a - 1; i >= 0; --i)
        out[static_cast<std::size_t>(i)] = out[static_cast<std::size_t>(i + 1)] - step(i);
    return out;
}

Symmetric2 limitEigenvalues(const Symmetric2& m, float lo, float hi)
{
    const float p = m.m00;
    const float q = m.m01;
    const float r = m.m11;
    const float halfGap = (p - r) / 2.0f;
    const float d = std::sqrt(std::max(halfGap * halfGap + q * q, 0.0f));
    const float centre = (p + r) / 2.0f;
    const float l1 = clamp(centre + d, lo, hi);
    const float l2 = clamp(centre - d, lo, hi);
    float vx = p >= r ? 1.0f : 0.0f;
    float vy = p >= r ? 0.0f : 1.0f;
    if (std::fabs(q) > axisAlignedBelow) {
        // (λ1 − r, q) and (q, λ1 − p) point the same way; take the one whose difference adds
        // two non-negative terms, since λ1 − r cancels to rounding noise when p < r.
        vx = p >= r ? halfGap + d : q;
        vy = p >= r ? q : d - halfGap;
        const float length = std::sqrt(vx * vx + vy * vy);
        vx /= length;
        vy /= length;
    }
    return {l1 * vx * vx + l2 * vy * vy, (l1 - l2) * vx * vy, l1 * vy * vy + l2 * vx * vx};
}

Symmetric2 squareRoot(const Symmetric2& m)
{
    const float s = std::sqrt(std::max(m.m00 * m.m11 - m.m01 * m.m01, 0.0f));
    const float t = std::sqrt(std::max(m.m00 + m.m11 + 2.0f * s, squareRootFloor));
    return {(m.m00 + s) / t, m.m01 / t, (m.m11 + s) / t};
}

Symmetric2 transferMatrix(const Symmetric2& source, const Symmetric2& reference)
{
    const Symmetric2 root = squareRoot(source);
    const Matrix2 p = full(root);
    const Matrix2 q = inverse(root);
    const Symmetric2 c = symmetrised(p * full(reference) * p);
    const Symmetric2 t = symmetrised(q * full(squareRoot(c)) * q);
    return limitEigenvalues(t, minGain, maxGain);
}

}  // namespace ColorMatcher

}  // namespace lumivert
