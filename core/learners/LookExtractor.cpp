#include "learners/LookExtractor.hpp"

#include "color/ColorMath.hpp"
#include "learners/Bands.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace lumivert {

namespace {

constexpr int bands = LookAnalysis::bandCount;

// Sampling.
constexpr std::int64_t maxSamples = 250000;
constexpr std::size_t minSamples = 16;

// Histograms: lightness over [0, 1], cast-relative chroma over [0, 0.4].
constexpr std::size_t histogramBins = 1024;
constexpr float chromaRange = 0.4f;

// Contrast: the interquartile range over the 0.5–99.5 % spread, relative to a typical photo's.
constexpr float minSpread = 0.05f;
constexpr float typicalQuartileRatio = 0.36f;
constexpr float minContrast = 0.9f;
constexpr float maxContrast = 1.15f;

// Tint estimation: narrowing Gaussian widths around the running estimate, a preference for
// near-grey samples, and a support measure of how many samples really sit near the estimate.
constexpr std::array<float, 6> tintWidths = {0.08f, 0.06f, 0.045f, 0.035f, 0.03f, 0.03f};
constexpr float greyFactor = 816.3265f;           // 1 / 0.035²
constexpr float supportChromaFactor = 400.0f;     // 1 / 0.05²
constexpr float supportDistanceFactor = 1600.0f;  // 1 / 0.025²
constexpr float minBandWeight = 1e-6f;
constexpr float maxTint = 0.06f;
constexpr float minPopulationShare = 0.002f;
constexpr float minimumPopulation = 30.0f;
constexpr float minSupport = 0.03f;
constexpr float supportFadeLow = 0.03f;
constexpr float supportFadeHigh = 0.15f;
constexpr float greyChromaSquared = 0.0025f;  // chroma below 0.05
constexpr float greyShareFadeLow = 0.02f;
constexpr float greyShareFadeHigh = 0.08f;
constexpr int smoothingPasses = 2;

// Sums over samples are taken in fixed blocks and combined in block order, so they are the
// same on any number of threads.
constexpr std::size_t blockSize = 4096;

// Levels: lift and roll-off count only as far as that end of the photo is neutral.
constexpr float darkEnd = 0.005f;
constexpr float brightEnd = 0.995f;
constexpr float quartileLow = 0.25f;
constexpr float quartileHigh = 0.75f;
constexpr float shadowTail = 0.02f;
constexpr float highlightTail = 0.98f;
constexpr float neutralDistance = 0.04f;
constexpr float blackOffset = 0.12f;
constexpr float blackGain = 1.1f;
constexpr float whiteKnee = 0.95f;
constexpr float whiteGain = 1.05f;
constexpr float maxLevelShift = 0.4f;
constexpr float neutralShareLow = 0.25f;
constexpr float neutralShareHigh = 0.65f;
constexpr float minLevelGap = 0.3f;

// Saturation: median mid-tone chroma against a fully colourful 0.045.
constexpr float midToneLow = 0.15f;
constexpr float midToneHigh = 0.95f;
constexpr float fullChroma = 0.045f;
constexpr float saturationExponent = 0.75f;

// Palette: k-means on the colourful samples, seeded on a ring at their median chroma.
constexpr float colourfulChroma = 0.03f;
constexpr std::size_t minColourful = 100;
constexpr std::size_t maxColourful = 20000;
constexpr std::size_t seedBins = 256;
constexpr int clusterCount = 6;
constexpr float seedAngleOffset = 0.3f;
constexpr int iterations = 15;
constexpr float mergeDistance = 0.025f;
constexpr float minPaletteShare = 0.04f;

using Tints = LookExtractor::Tints;

float length(const Chroma& c) { return std::sqrt(c.a * c.a + c.b * c.b); }

float distanceSquared(const Chroma& x, const Chroma& y)
{
    const float da = x.a - y.a;
    const float db = x.b - y.b;
    return da * da + db * db;
}

Chroma tintAt(const Tints& tints, float lightness)
{
    return bandInterpolate(std::span<const Chroma>(tints), lightness);
}

std::size_t binOf(float x, std::size_t bins)
{
    return std::min(bins - 1, static_cast<std::size_t>(clamp01(x) * static_cast<float>(bins)));
}

std::size_t blockCount(std::size_t n) { return (n + blockSize - 1) / blockSize; }

// Oklab samples of the image; colours that are not finite numbers have no place in a
// histogram or a mean and are left out.
std::vector<Lab> oklabSamples(const PixelBuffer& image)
{
    const std::vector<RGB> rgb = image.samples(maxSamples);
    std::vector<Lab> lab(rgb.size());
    const auto n = static_cast<std::int64_t>(rgb.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < n; ++i)
        lab[static_cast<std::size_t>(i)] = ColorMath::srgbToOklab(rgb[static_cast<std::size_t>(i)]);
    std::erase_if(lab, [](const Lab& c) {
        return !std::isfinite(c.L) || !std::isfinite(c.a) || !std::isfinite(c.b);
    });
    return lab;
}

// (a, b) − tint(L) for every sample: its chroma measured from the neutral axis.
std::vector<Chroma> castOffsets(std::span<const Lab> samples, const Tints& tints)
{
    std::vector<Chroma> offsets(samples.size());
    const auto n = static_cast<std::int64_t>(samples.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < n; ++i) {
        const Lab& c = samples[static_cast<std::size_t>(i)];
        offsets[static_cast<std::size_t>(i)] = Chroma{c.a, c.b} - tintAt(tints, c.L);
    }
    return offsets;
}

// ---- Tint estimation ----

// What every pass needs of a sample; the grey preferences do not change between passes.
struct GreySample {
    Chroma chroma;
    float grey = 0;     // exp(−c² / 0.035²)
    float support = 0;  // exp(−c² / 0.05²)
    BandSplit split;
};

struct BandTotals {
    std::array<Chroma, bands> weighted{};
    std::array<float, bands> weight{};
    std::array<float, bands> population{};
    std::array<float, bands> support{};

    void add(const BandTotals& o)
    {
        for (int k = 0; k < bands; ++k) {
            weighted[k] += o.weighted[k];
            weight[k] += o.weight[k];
            population[k] += o.population[k];
            support[k] += o.support[k];
        }
    }
};

std::vector<GreySample> greySamples(std::span<const Lab> samples)
{
    std::vector<GreySample> greys(samples.size());
    const auto n = static_cast<std::int64_t>(samples.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < n; ++i) {
        const Lab& c = samples[static_cast<std::size_t>(i)];
        const float c2 = c.a * c.a + c.b * c.b;
        greys[static_cast<std::size_t>(i)] = {{c.a, c.b},
                                              std::exp(-c2 * greyFactor),
                                              std::exp(-c2 * supportChromaFactor),
                                              bandSplit(c.L, bands)};
    }
    return greys;
}

void addToBand(BandTotals& totals, const GreySample& s, int band, float membership,
               const Chroma& estimate, float width2, bool withSupport)
{
    const auto k = static_cast<std::size_t>(band);
    const float d2 = distanceSquared(s.chroma, estimate);
    totals.population[k] += membership;
    // A zero factor adds exactly nothing, so the exponential can be skipped.
    if (s.grey > 0.0f) {
        const float w = membership * s.grey * std::exp(-d2 / width2);
        totals.weighted[k] += s.chroma * w;
        totals.weight[k] += w;
    }
    if (withSupport && s.support > 0.0f)
        totals.support[k] += membership * s.support * std::exp(-d2 * supportDistanceFactor);
}

BandTotals tintPass(std::span<const GreySample> greys, const Tints& estimates, float width,
                    bool withSupport)
{
    const float width2 = width * width;
    const std::size_t blocks = blockCount(greys.size());
    std::vector<BandTotals> partial(blocks);
#pragma omp parallel for schedule(static)
    for (std::int64_t block = 0; block < static_cast<std::int64_t>(blocks); ++block) {
        const std::size_t begin = static_cast<std::size_t>(block) * blockSize;
        const std::size_t end = std::min(greys.size(), begin + blockSize);
        BandTotals& totals = partial[static_cast<std::size_t>(block)];
        for (std::size_t i = begin; i < end; ++i) {
            const GreySample& s = greys[i];
            const int first = s.split.first;
            const float upper = s.split.fraction;
            addToBand(totals, s, first, 1.0f - upper, estimates[static_cast<std::size_t>(first)],
                      width2, withSupport);
            if (upper > 0.0f)
                addToBand(totals, s, first + 1, upper,
                          estimates[static_cast<std::size_t>(first) + 1], width2, withSupport);
        }
    }
    BandTotals total;
    for (const BandTotals& totals : partial)
        total.add(totals);
    return total;
}

// Each untrusted band takes the value of the nearest trusted one, the darker side first.
void fillUntrusted(Tints& tints, const std::array<bool, bands>& trusted)
{
    const Tints sources = tints;
    for (int k = 0; k < bands; ++k) {
        if (trusted[static_cast<std::size_t>(k)])
            continue;
        for (int d = 1; d < bands; ++d) {
            if (k - d >= 0 && trusted[static_cast<std::size_t>(k - d)]) {
                tints[static_cast<std::size_t>(k)] = sources[static_cast<std::size_t>(k - d)];
                break;
            }
            if (k + d < bands && trusted[static_cast<std::size_t>(k + d)]) {
                tints[static_cast<std::size_t>(k)] = sources[static_cast<std::size_t>(k + d)];
                break;
            }
        }
    }
}

// (¼, ½, ¼) with each end standing in for its missing neighbour.
Tints smoothed(const Tints& tints)
{
    Tints out;
    for (int k = 0; k < bands; ++k) {
        const Chroma& previous = tints[static_cast<std::size_t>(std::max(0, k - 1))];
        const Chroma& next = tints[static_cast<std::size_t>(std::min(bands - 1, k + 1))];
        out[static_cast<std::size_t>(k)] =
            previous * 0.25f + tints[static_cast<std::size_t>(k)] * 0.5f + next * 0.25f;
    }
    return out;
}

// ---- Levels and saturation ----

struct EndShares {
    float shadows = 0;
    float highlights = 0;
};

// Shares of near-neutral samples among the darkest and the brightest.
EndShares endNeutrality(std::span<const Lab> samples, std::span<const Chroma> offsets,
                        float shadowEdge, float highlightEdge)
{
    std::int64_t shadows = 0;
    std::int64_t neutralShadows = 0;
    std::int64_t highlights = 0;
    std::int64_t neutralHighlights = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const bool neutral = length(offsets[i]) < neutralDistance;
        if (samples[i].L <= shadowEdge) {
            ++shadows;
            neutralShadows += neutral ? 1 : 0;
        } else if (samples[i].L >= highlightEdge) {
            ++highlights;
            neutralHighlights += neutral ? 1 : 0;
        }
    }
    const auto share = [](std::int64_t part, std::int64_t whole) {
        return whole > 0 ? static_cast<float>(part) / static_cast<float>(whole) : 0.0f;
    };
    return {share(neutralShadows, shadows), share(neutralHighlights, highlights)};
}

float colourfulness(std::span<const Lab> samples, std::span<const Chroma> offsets)
{
    std::vector<float> histogram(histogramBins, 0.0f);
    std::int64_t count = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i].L > midToneLow && samples[i].L < midToneHigh) {
            histogram[binOf(length(offsets[i]) / chromaRange, histogramBins)] += 1.0f;
            ++count;
        }
    }
    const float median = count > 0 ? histogramPercentile(histogram, 0.5f, static_cast<float>(count),
                                                         0.0f, chromaRange)
                                   : fullChroma;
    return clamp(std::pow(median / fullChroma, saturationExponent), 0.0f, 1.0f);
}

// ---- Palette ----

struct ColourfulSample {
    Chroma offset;  // chroma measured from the band cast
    float lightness = 0;
};

struct Cluster {
    Chroma centre;
    float lightness = 0;
    std::int64_t count = 0;
};

std::vector<ColourfulSample> colourfulSamples(std::span<const Lab> samples,
                                              std::span<const Chroma> offsets)
{
    std::vector<ColourfulSample> kept;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (length(offsets[i]) > colourfulChroma)
            kept.push_back({offsets[i], samples[i].L});
    }
    if (kept.size() <= maxColourful)
        return kept;
    // An even stride keeps the k-means cost bounded.
    std::vector<ColourfulSample> bounded;
    bounded.reserve(maxColourful);
    const double step = static_cast<double>(kept.size()) / static_cast<double>(maxColourful);
    for (std::size_t i = 0; i < maxColourful; ++i)
        bounded.push_back(kept[static_cast<std::size_t>(step * static_cast<double>(i))]);
    return bounded;
}

std::array<Cluster, clusterCount> seedClusters(std::span<const ColourfulSample> samples)
{
    std::vector<float> histogram(seedBins, 0.0f);
    for (const ColourfulSample& s : samples)
        histogram[binOf(length(s.offset) / chromaRange, seedBins)] += 1.0f;
    const float radius =
        histogramPercentile(histogram, 0.5f, static_cast<float>(samples.size()), 0.0f, chromaRange);
    std::array<Cluster, clusterCount> clusters;
    for (int j = 0; j < clusterCount; ++j) {
        const float angle = static_cast<float>(j) / static_cast<float>(clusterCount) * 2.0f *
                                std::numbers::pi_v<float> +
                            seedAngleOffset;
        clusters[static_cast<std::size_t>(j)].centre = {radius * std::cos(angle),
                                                        radius * std::sin(angle)};
    }
    return clusters;
}

int nearestCluster(const std::array<Cluster, clusterCount>& clusters, const Chroma& c)
{
    int best = 0;
    float bestDistance = distanceSquared(c, clusters[0].centre);
    for (int j = 1; j < clusterCount; ++j) {
        const float d = distanceSquared(c, clusters[static_cast<std::size_t>(j)].centre);
        // Strictly smaller: a tie stays with the lower-numbered centre.
        if (d < bestDistance) {
            best = j;
            bestDistance = d;
        }
    }
    return best;
}

void runKMeans(std::array<Cluster, clusterCount>& clusters,
               std::span<const ColourfulSample> samples)
{
    for (int iteration = 0; iteration < iterations; ++iteration) {
        // Double sums: 20 000 single-precision additions would drift the means by 1e−4.
        std::array<std::array<double, 3>, clusterCount> sums{};
        std::array<std::int64_t, clusterCount> counts{};
        for (const ColourfulSample& s : samples) {
            const auto j = static_cast<std::size_t>(nearestCluster(clusters, s.offset));
            sums[j][0] += s.offset.a;
            sums[j][1] += s.offset.b;
            sums[j][2] += s.lightness;
            ++counts[j];
        }
        for (std::size_t j = 0; j < clusters.size(); ++j) {
            clusters[j].count = counts[j];
            if (counts[j] == 0)
                continue;
            const auto members = static_cast<double>(counts[j]);
            clusters[j].centre = {static_cast<float>(sums[j][0] / members),
                                  static_cast<float>(sums[j][1] / members)};
            clusters[j].lightness = static_cast<float>(sums[j][2] / members);
        }
    }
}

// Centres closer than the merge distance become one colour with their counts added.
std::vector<Cluster> merged(const std::array<Cluster, clusterCount>& clusters)
{
    std::vector<Cluster> entries;
    for (const Cluster& cluster : clusters) {
        if (cluster.count == 0)
            continue;
        const auto absorbing = std::find_if(entries.begin(), entries.end(), [&](const Cluster& e) {
            return std::sqrt(distanceSquared(e.centre, cluster.centre)) < mergeDistance;
        });
        if (absorbing == entries.end()) {
            entries.push_back(cluster);
            continue;
        }
        const auto own = static_cast<float>(absorbing->count);
        const auto other = static_cast<float>(cluster.count);
        const float total = own + other;
        absorbing->centre = {(absorbing->centre.a * own + cluster.centre.a * other) / total,
                             (absorbing->centre.b * own + cluster.centre.b * other) / total};
        absorbing->lightness = (absorbing->lightness * own + cluster.lightness * other) / total;
        absorbing->count += cluster.count;
    }
    return entries;
}

std::vector<PaletteColor> paletteFromOffsets(std::span<const Lab> samples,
                                             std::span<const Chroma> offsets, const Tints& tints)
{
    const std::vector<ColourfulSample> colourful = colourfulSamples(samples, offsets);
    if (colourful.size() < minColourful)
        return {};
    const auto total = static_cast<float>(colourful.size());
    std::array<Cluster, clusterCount> clusters = seedClusters(colourful);
    runKMeans(clusters, colourful);

    std::vector<Cluster> entries = merged(clusters);
    std::erase_if(entries, [&](const Cluster& e) {
        return !(static_cast<float>(e.count) / total >= minPaletteShare);
    });
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Cluster& x, const Cluster& y) { return x.count > y.count; });

    std::vector<PaletteColor> palette;
    for (const Cluster& e : entries) {
        const Chroma cast = tintAt(tints, e.lightness);
        palette.push_back({static_cast<int>(palette.size()),
                           {e.lightness, e.centre.a + cast.a, e.centre.b + cast.b},
                           static_cast<float>(e.count) / total,
                           std::atan2(e.centre.b, e.centre.a)});
    }
    return palette;
}

}  // namespace

namespace LookExtractor {

Tints estimateTints(std::span<const Lab> samples)
{
    const std::vector<GreySample> greys = greySamples(samples);
    Tints estimates{};
    BandTotals totals;
    for (std::size_t pass = 0; pass < tintWidths.size(); ++pass) {
        // Only the last pass's support is used, so only that pass pays for it.
        const bool lastPass = pass + 1 == tintWidths.size();
        totals = tintPass(greys, estimates, tintWidths[pass], lastPass);
        for (std::size_t k = 0; k < estimates.size(); ++k) {
            if (totals.weight[k] > minBandWeight)
                estimates[k] = {totals.weighted[k].a / totals.weight[k],
                                totals.weighted[k].b / totals.weight[k]};
        }
    }

    const auto n = static_cast<float>(samples.size());
    const float minPopulation = std::max(minPopulationShare * n, minimumPopulation);
    std::array<bool, bands> trusted{};
    bool anyTrusted = false;
    for (std::size_t k = 0; k < estimates.size(); ++k) {
        const float population = totals.population[k];
        const float support = population > 0.0f ? totals.support[k] / population : 0.0f;
        const float size = length(estimates[k]);
        if (size > maxTint)
            estimates[k] *= maxTint / size;
        trusted[k] = population >= minPopulation && support > minSupport;
        anyTrusted = anyTrusted || trusted[k];
        estimates[k] *= smoothstep(supportFadeLow, supportFadeHigh, support);
    }
    if (!anyTrusted)
        return Tints{};

    fillUntrusted(estimates, trusted);
    for (int pass = 0; pass < smoothingPasses; ++pass)
        estimates = smoothed(estimates);

    // A photo with almost no greys says nothing about its cast.
    const auto greyCount = std::count_if(samples.begin(), samples.end(), [](const Lab& c) {
        return c.a * c.a + c.b * c.b < greyChromaSquared;
    });
    const float strength =
        smoothstep(greyShareFadeLow, greyShareFadeHigh, static_cast<float>(greyCount) / n);
    for (Chroma& tint : estimates)
        tint *= strength;
    return estimates;
}

std::vector<PaletteColor> extractPalette(std::span<const Lab> samples, const Tints& tints)
{
    const std::vector<Chroma> offsets = castOffsets(samples, tints);
    return paletteFromOffsets(samples, offsets, tints);
}

LookAnalysis analyse(const PixelBuffer& image)
{
    const std::vector<Lab> samples = oklabSamples(image);
    if (samples.size() < minSamples)
        return LookAnalysis::neutral();
    const auto n = static_cast<float>(samples.size());

    std::vector<float> histogram(histogramBins, 0.0f);
    for (const Lab& c : samples)
        histogram[binOf(c.L, histogramBins)] += 1.0f;
    const auto percentile = [&](float p) {
        return histogramPercentile(histogram, p, n, 0.0f, 1.0f);
    };
    const float p005 = percentile(darkEnd);
    const float p995 = percentile(brightEnd);
    const float p25 = percentile(quartileLow);
    const float p75 = percentile(quartileHigh);
    const float p02 = percentile(shadowTail);
    const float p98 = percentile(highlightTail);

    LookAnalysis result;
    const float spread = std::max(p995 - p005, minSpread);
    const float ratio = (p75 - p25) / spread / typicalQuartileRatio;
    result.contrast = clamp(std::sqrt(ratio), minContrast, maxContrast);  // NaN gives 0.9

    result.tints = estimateTints(samples);
    const std::vector<Chroma> offsets = castOffsets(samples, result.tints);

    const EndShares shares = endNeutrality(samples, offsets, p02, p98);
    result.blackLevel = clamp((p005 - blackOffset) * blackGain, 0.0f, maxLevelShift) *
                        smoothstep(neutralShareLow, neutralShareHigh, shares.shadows);
    const float rollOff = clamp((whiteKnee - p995) * whiteGain, 0.0f, maxLevelShift) *
                          smoothstep(neutralShareLow, neutralShareHigh, shares.highlights);
    result.whiteLevel = std::max(1.0f - rollOff, result.blackLevel + minLevelGap);

    result.saturation = colourfulness(samples, offsets);
    result.palette = paletteFromOffsets(samples, offsets, result.tints);
    return result;
}

}  // namespace LookExtractor

}  // namespace lumivert
