#include "recipe/GradeRecipe.hpp"

#include "color/ColorMath.hpp"
#include "lut/LUTWriter.hpp"

#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumivert {
namespace {

using namespace GradeRecipe;
using std::filesystem::path;

const path samples = LUMIVERT_SAMPLES_DIR;

// The look and match grades of the samples, as the command line makes them by default.
struct SampleGrade {
    Mode mode;
    std::vector<std::string> images;
    std::string title;
    std::uint64_t defaultDigest;  // of the default .cube, made before the smooth mapping existed
    float smoothLargestStep;      // a bound on the smooth LUT's largest step between neighbours
};

const std::vector<SampleGrade> sampleGrades = {
    // Today's largest steps, in the same order: 102, 24, 48, 163, 40 and 94 levels; with the
    // smooth mapping 36, 24, 10, 66, 40 and 70. What remains is mostly the grade's own, between
    // colours inside sRGB (see the test of the grade's own steps below).
    {Mode::look, {"coffee"}, "coffee Look", 0x021bacab939396ffull, 40},
    {Mode::look, {"chelsea"}, "chelsea Look", 0xd3a67d8cef3a0f03ull, 25},
    {Mode::look, {"astronaut"}, "astronaut Look", 0x564ede4ae32cda0eull, 25},
    {Mode::match, {"chelsea", "coffee"}, "coffee Match", 0xbddd89dbe11d9e4dull, 70},
    {Mode::match, {"astronaut", "chelsea"}, "chelsea Match", 0xfeeec4142cde48c0ull, 45},
    {Mode::match, {"coffee", "astronaut"}, "astronaut Match", 0x47d4512b0dd5b177ull, 75},
};

std::uint64_t fnv1a(const std::string& text)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

Results analysed(const SampleGrade& grade)
{
    std::vector<Input> inputs;
    for (std::size_t i = 0; i < grade.images.size(); ++i)
        inputs.push_back(load(recipe(grade.mode).slots[i], samples / (grade.images[i] + ".png")));
    Results results;
    results.store(analyse(grade.mode, inputs, Settings{}));
    return results;
}

// Each sample grade analysed once for all the tests here; analysis is the slow part.
const Results& analysedOnce(const SampleGrade& grade)
{
    static const std::vector<Results> all = [] {
        std::vector<Results> results;
        for (const SampleGrade& each : sampleGrades)
            results.push_back(analysed(each));
        return results;
    }();
    return all[static_cast<std::size_t>(&grade - sampleGrades.data())];
}

GradePipeline graded(const SampleGrade& grade, const Results& results, GamutMapping gamut)
{
    Settings settings;
    settings.gamut = gamut;
    return pipeline(grade.mode, results, settings);
}

LUT3D baked(const SampleGrade& grade, const Results& results, GamutMapping gamut)
{
    return graded(grade, results, gamut).makeLUT(defaultExportSize);
}

constexpr float cliff = 25.0f;  // levels between neighbouring nodes that show as a hard edge

struct Steps {
    float largest = 0;  // 8-bit levels
    int cliffs = 0;     // neighbouring pairs at least cliff apart
};

struct Node {
    std::int64_t r, g, b;
};

// Every pair of nodes next to each other along an axis.
template <typename Visit> void forEachNeighbourPair(std::int64_t n, Visit visit)
{
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r) {
                if (r + 1 < n)
                    visit(Node{r, g, b}, Node{r + 1, g, b});
                if (g + 1 < n)
                    visit(Node{r, g, b}, Node{r, g + 1, b});
                if (b + 1 < n)
                    visit(Node{r, g, b}, Node{r, g, b + 1});
            }
}

// The largest change of any channel, in 8-bit levels.
float stepBetween(const RGB& x, const RGB& y)
{
    return 255.0f * std::max({std::fabs(x.r - y.r), std::fabs(x.g - y.g), std::fabs(x.b - y.b)});
}

const RGB& at(const LUT3D& lut, const Node& node) { return lut(node.r, node.g, node.b); }

Steps neighbourSteps(const LUT3D& lut)
{
    Steps steps;
    forEachNeighbourPair(lut.size(), [&](const Node& x, const Node& y) {
        const float step = stepBetween(at(lut, x), at(lut, y));
        steps.largest = std::max(steps.largest, step);
        steps.cliffs += step >= cliff;
    });
    return steps;
}

// The smallest box of colours that holds every colour given to it.
struct ColourRange {
    RGB low{1, 1, 1};
    RGB high{0, 0, 0};

    void include(const RGB& c)
    {
        low = {std::min(low.r, c.r), std::min(low.g, c.g), std::min(low.b, c.b)};
        high = {std::max(high.r, c.r), std::max(high.g, c.g), std::max(high.b, c.b)};
    }
    float step() const { return low.r <= high.r ? stepBetween(low, high) : 0.0f; }
};

// The outputs along the segment from one input to another that no mapping moves (both give
// them bit for bit: inside sRGB, or black), closing in on each point where the segment crosses
// the gamut's boundary.
ColourRange unmovedAlong(const GradePipeline& lightness, const GradePipeline& smooth,
                         const RGB& from, const RGB& to)
{
    constexpr int samplesPerAxis = 16;
    constexpr int halvings = 20;
    const auto unmovedAt = [&](float f) -> std::optional<RGB> {
        const RGB colour{from.r + f * (to.r - from.r), from.g + f * (to.g - from.g),
                         from.b + f * (to.b - from.b)};
        const RGB mapped = smooth.apply(colour);
        if (lightness.apply(colour) != mapped)
            return std::nullopt;
        return mapped;
    };
    ColourRange range;
    float previous = 0;
    bool previousUnmoved = false;
    for (int k = 0; k <= samplesPerAxis; ++k) {
        const float f = static_cast<float>(k) / samplesPerAxis;
        const std::optional<RGB> colour = unmovedAt(f);
        if (colour)
            range.include(*colour);
        if (k > 0 && colour.has_value() != previousUnmoved) {
            float inside = colour ? f : previous;
            float outside = colour ? previous : f;
            for (int halving = 0; halving < halvings; ++halving) {
                const float middle = 0.5f * (inside + outside);
                const std::optional<RGB> near = unmovedAt(middle);
                if (near)
                    range.include(*near);
                (near ? inside : outside) = middle;
            }
        }
        previous = f;
        previousUnmoved = colour.has_value();
    }
    return range;
}

// The grade's own largest step between colours no gamut mapping may move. Between two such nodes
// the step is fixed; along the edge of a cliff that leaves sRGB, the colours still inside span a
// step that any mapping continuous at the boundary makes too, wherever it puts the node outside.
float gradesOwnStep(const GradePipeline& lightness, const GradePipeline& smooth,
                    const LUT3D& lightnessLUT, const LUT3D& smoothLUT)
{
    const auto last = static_cast<float>(smoothLUT.size() - 1);
    const auto input = [&](const Node& node) {
        return RGB{static_cast<float>(node.r) / last, static_cast<float>(node.g) / last,
                   static_cast<float>(node.b) / last};
    };
    const auto unmoved = [&](const Node& node) {
        return at(lightnessLUT, node) == at(smoothLUT, node);
    };
    float largest = 0;
    forEachNeighbourPair(smoothLUT.size(), [&](const Node& x, const Node& y) {
        const float step = stepBetween(at(smoothLUT, x), at(smoothLUT, y));
        if (unmoved(x) && unmoved(y))
            largest = std::max(largest, step);
        else if (step >= cliff)
            largest = std::max(largest, unmovedAlong(lightness, smooth, input(x), input(y)).step());
    });
    return largest;
}

TEST(GamutMappingSamples, DefaultLUTsAreByteIdenticalAndSmoothOnesHaveFewerCliffs)
{
    for (const SampleGrade& grade : sampleGrades) {
        const Results& results = analysedOnce(grade);
        const LUT3D lightness = baked(grade, results, GamutMapping::preserveLightness);
        EXPECT_EQ(fnv1a(LUTWriter::cube(lightness, grade.title)), grade.defaultDigest)
            << grade.title;
        const Steps before = neighbourSteps(lightness);
        const Steps after = neighbourSteps(baked(grade, results, GamutMapping::smooth));
        EXPECT_LT(after.largest, grade.smoothLargestStep) << grade.title;
        EXPECT_LE(after.largest, before.largest + 0.5f) << grade.title;
        EXPECT_LE(after.cliffs, before.cliffs) << grade.title;
    }
}

// Where a smooth LUT still steps 25 levels or more between neighbours, the grade itself makes
// nearly that step between colours inside sRGB (a channel leaving 0, where sRGB's encoding is
// steepest, or a match's lifted black), which no mapping may change; the mapping adds at most
// a few levels. The default mapping's bleached highlights break this bound.
TEST(GamutMappingSamples, SmoothLUTsStepNoFurtherThanTheGradeDoesInsideTheGamut)
{
    constexpr float mappingShare = 4.0f;  // levels
    int lightnessBeyond = 0;
    for (const SampleGrade& grade : sampleGrades) {
        const Results& results = analysedOnce(grade);
        const GradePipeline lightness = graded(grade, results, GamutMapping::preserveLightness);
        const GradePipeline smooth = graded(grade, results, GamutMapping::smooth);
        const LUT3D lightnessLUT = lightness.makeLUT(defaultExportSize);
        const LUT3D smoothLUT = smooth.makeLUT(defaultExportSize);
        const float own = gradesOwnStep(lightness, smooth, lightnessLUT, smoothLUT);
        const float bound = own < cliff ? cliff : own + mappingShare;
        EXPECT_LT(neighbourSteps(smoothLUT).largest, bound) << grade.title << ", own " << own;
        lightnessBeyond += neighbourSteps(lightnessLUT).largest >= bound;
    }
    EXPECT_GE(lightnessBeyond, 4);
}

TEST(GamutMappingSamples, SmoothLUTIsTheSameOnOneThreadAndOnTwo)
{
    const SampleGrade& coffee = sampleGrades.front();
    const Results& results = analysedOnce(coffee);
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const LUT3D serial = baked(coffee, results, GamutMapping::smooth);
    omp_set_num_threads(2);
    const LUT3D parallel = baked(coffee, results, GamutMapping::smooth);
    omp_set_num_threads(threads);
    EXPECT_EQ(serial, parallel);
}

TEST(GamutMappingTable, NamesRoundTripAndTheDefaultComesFirst)
{
    EXPECT_EQ(static_cast<GamutMapping>(gamutMappings().front().value), Settings{}.gamut);
    for (const Choice& row : gamutMappings()) {
        const auto mapping = static_cast<GamutMapping>(row.value);
        EXPECT_EQ(gamutNamed(row.id), mapping);
        EXPECT_EQ(&recipe(mapping), &row);
    }
    EXPECT_EQ(gamutNamed("Smooth"), std::nullopt);
}

}  // namespace
}  // namespace lumivert
