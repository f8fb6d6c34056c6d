// An edit learned on one photo and applied to another, against the same edit made directly on
// the other photo by ImageMagick: with the edit extended to colours the pair lacks, per-channel
// edits must carry over within 2.5 levels RMS and saturation changes within 4, while the fit on
// the pair itself stays within 0.1 level of the plain fit.
#include "imaging/ImageLoader.hpp"
#include "learners/EditLearner.hpp"
#include "lut/LUTWriter.hpp"
#include "recipe/GradeRecipe.hpp"
#include "support/EditPhotos.hpp"
#include "support/ExternalTool.hpp"
#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace lumivert {
namespace {

using std::filesystem::path;

const path samples = LUMIVERT_SAMPLES_DIR;

struct Edit {
    const char* name;
    const char* arguments;  // ImageMagick's
    float carryOver;        // the largest RMS, in levels, on another photo with the option
};

constexpr float perChannel = 2.5f;
constexpr float strongSaturation = 4.0f;
constexpr float selfFitSlack = 0.1f;

const std::vector<Edit>& edits()
{
    static const std::vector<Edit> table = {
        {"levels", "-level 8%,92%", perChannel},
        {"curves", "-channel R -gamma 1.25 -channel B -gamma 0.85 +channel -gamma 1.1", perChannel},
        {"sigmoidal contrast", "-sigmoidal-contrast 6,50%", perChannel},
        {"channel multiply", "-channel R -evaluate multiply 1.1 +channel", perChannel},
        {"more saturation", "-modulate 100,130", strongSaturation},
        {"less saturation", "-modulate 100,70", strongSaturation},
    };
    return table;
}

// Learned on the cat, applied to the astronaut: the hardest of the samples' pairings, since the
// cat photo has neither the astronaut's blues nor her skin tones.
constexpr const char* learnedOn = "chelsea";
constexpr const char* appliedTo = "astronaut";

float rmsLevels(const LUT3D& lut, const PixelBuffer& before, const PixelBuffer& after)
{
    double sum = 0;
    for (std::size_t i = 0; i < before.pixels().size(); ++i) {
        const RGB d = lut.sample(before.pixels()[i]) - after.pixels()[i];
        sum += static_cast<double>(d.r) * d.r + static_cast<double>(d.g) * d.g +
               static_cast<double>(d.b) * d.b;
    }
    return static_cast<float>(255.0 * std::sqrt(sum / (3.0 * before.pixels().size())));
}

class EditCarryOver : public fixtures::FolderTest {
protected:
    void SetUp() override
    {
        if (!fixtures::findOnPath("convert"))
            GTEST_SKIP() << fixtures::missingTool("convert", "imagemagick");
        FolderTest::SetUp();
    }

    // The sample at 40 % size, and with the edit made by ImageMagick.
    std::pair<PixelBuffer, PixelBuffer> pair(const std::string& photo, const Edit& edit)
    {
        const path before = folder_ / (photo + ".png");
        const path after = folder_ / (photo + "-edited.png");
        const std::string source = (samples / (photo + ".png")).string();
        const std::string resize = "convert '" + source + "' -resize 40% '" + before.string() + "'";
        const std::string made =
            "convert '" + before.string() + "' " + edit.arguments + " '" + after.string() + "'";
        EXPECT_EQ(std::system(resize.c_str()), 0);
        EXPECT_EQ(std::system(made.c_str()), 0) << made;
        return {ImageLoader::loadExact(before), ImageLoader::loadExact(after)};
    }
};

TEST_F(EditCarryOver, ExtendedEditsCarryOverToAnotherPhotoAndStillFitTheirOwn)
{
    const float smoothing = static_cast<float>(GradeRecipe::smoothingRange.defaultValue);
    for (const Edit& edit : edits()) {
        const auto [before, after] = pair(learnedOn, edit);
        const auto [otherBefore, otherAfter] = pair(appliedTo, edit);
        const EditSystem system = EditLearner::prepare(before, after, GradeRecipe::editLatticeSize);
        const EditFit plain = GradeRecipe::refit(system, smoothing, false);
        const EditFit extended = GradeRecipe::refit(system, smoothing, true);
        const float plainOther = rmsLevels(plain.lut, otherBefore, otherAfter);
        const float extendedOther = rmsLevels(extended.lut, otherBefore, otherAfter);
        EXPECT_LE(extendedOther, edit.carryOver)
            << edit.name << ": " << plainOther << " levels without the extension";
        EXPECT_LT(extendedOther, plainOther) << edit.name;
        EXPECT_LE(extended.rmsError, plain.rmsError + selfFitSlack) << edit.name;
    }
}

// FNV-1a, 64 bits, of a written table.
std::uint64_t fingerprint(std::string_view bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// With the extension off, edits learned from the samples stay the tables earlier versions wrote
// (pinned from them), so scripts and other tools that rely on them see no change.
TEST(EditWithoutExtension, SamplesKeepTheEarlierTablesByteForByte)
{
    struct Pinned {
        const char* photo;
        float smoothing;
        std::uint64_t cube;
    };
    const std::vector<Pinned> pinned = {
        {"coffee", 0.02f, 6924208420495468803u},     {"coffee", 0.2f, 13848127793297175692u},
        {"chelsea", 0.02f, 6811523580381000240u},    {"chelsea", 0.2f, 14161848785969306083u},
        {"astronaut", 0.02f, 13219290823022008883u}, {"astronaut", 0.2f, 2519098201674377663u}};
    const GradeRecipe::Settings defaults;
    ASSERT_FALSE(defaults.extendEdit);
    const LUT3D grade = LUT3D::build(17, fixtures::warmGrade);
    for (const Pinned& row : pinned) {
        const PixelBuffer before =
            ImageLoader::loadExact(samples / (std::string(row.photo) + ".png"));
        const EditSystem system = EditLearner::prepare(before, fixtures::edited(before, grade),
                                                       GradeRecipe::editLatticeSize);
        const EditFit plain = GradeRecipe::refit(system, row.smoothing, defaults.extendEdit);
        EXPECT_EQ(fingerprint(LUTWriter::cube(plain.lut, "Pinned edit")), row.cube)
            << row.photo << " at " << row.smoothing;
        const EditFit extended = GradeRecipe::refit(system, row.smoothing, true);
        EXPECT_NE(extended.lut, plain.lut) << row.photo;
    }
}

}  // namespace
}  // namespace lumivert
