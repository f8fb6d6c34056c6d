#include "recipe/GradeRecipe.hpp"

#include "color/ColorMath.hpp"
#include "lut/LUTWriter.hpp"

#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
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
    // Today's largest steps, in the same order: 102, 24, 48, 163, 40 and 94 levels. What remains
    // with the smooth mapping lies where sRGB encoding is steep, near a channel of 0.
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

LUT3D baked(const SampleGrade& grade, const Results& results, GamutMapping gamut)
{
    Settings settings;
    settings.gamut = gamut;
    return pipeline(grade.mode, results, settings).makeLUT(defaultExportSize);
}

constexpr float kCliff = 25.0f;  // levels between neighbouring nodes that show as a hard edge

struct Steps {
    float largest = 0;  // 8-bit levels
    int cliffs = 0;     // neighbouring pairs at least kCliff apart
};

// The changes of every channel between nodes next to each other along an axis.
Steps neighbourSteps(const LUT3D& lut)
{
    const std::int64_t n = lut.size();
    Steps steps;
    const auto compare = [&](const RGB& x, const RGB& y) {
        const float step =
            255.0f * std::max({std::fabs(x.r - y.r), std::fabs(x.g - y.g), std::fabs(x.b - y.b)});
        steps.largest = std::max(steps.largest, step);
        steps.cliffs += step >= kCliff;
    };
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r) {
                if (r + 1 < n)
                    compare(lut(r, g, b), lut(r + 1, g, b));
                if (g + 1 < n)
                    compare(lut(r, g, b), lut(r, g + 1, b));
                if (b + 1 < n)
                    compare(lut(r, g, b), lut(r, g, b + 1));
            }
    return steps;
}

TEST(GamutMappingSamples, DefaultLUTsAreByteIdenticalAndSmoothOnesHaveFewerCliffs)
{
    for (const SampleGrade& grade : sampleGrades) {
        const Results results = analysed(grade);
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

TEST(GamutMappingSamples, SmoothLUTIsTheSameOnOneThreadAndOnTwo)
{
    const SampleGrade& coffee = sampleGrades.front();
    const Results results = analysed(coffee);
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
    EXPECT_EQ(gamutMappings().front().mapping, Settings{}.gamut);
    for (const GamutRecipe& row : gamutMappings()) {
        EXPECT_EQ(gamutNamed(row.id), row.mapping);
        EXPECT_EQ(&recipe(row.mapping), &row);
    }
    EXPECT_EQ(gamutNamed("Smooth"), std::nullopt);
}

}  // namespace
}  // namespace lumivert
