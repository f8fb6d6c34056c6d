// An edit learned on one photo and applied to another, against the same edit made directly on
// the other photo by ImageMagick: with the edit extended to colours the pair lacks, per-channel
// edits must carry over within 2.5 levels RMS and saturation changes within 4, while the fit on
// the pair itself stays within 0.1 level of the plain fit.
#include "imaging/ImageLoader.hpp"
#include "learners/EditLearner.hpp"
#include "recipe/GradeRecipe.hpp"
#include "support/ExternalTool.hpp"
#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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

constexpr float kPerChannel = 2.5f;
constexpr float kSaturation = 4.0f;
constexpr float kSelfFitSlack = 0.1f;

const std::vector<Edit>& edits()
{
    static const std::vector<Edit> table = {
        {"levels", "-level 8%,92%", kPerChannel},
        {"curves", "-channel R -gamma 1.25 -channel B -gamma 0.85 +channel -gamma 1.1",
         kPerChannel},
        {"sigmoidal contrast", "-sigmoidal-contrast 6,50%", kPerChannel},
        {"channel multiply", "-channel R -evaluate multiply 1.1 +channel", kPerChannel},
        {"more saturation", "-modulate 100,130", kSaturation},
        {"less saturation", "-modulate 100,70", kSaturation},
    };
    return table;
}

// Learned on the first, applied to the second.
const std::vector<std::pair<const char*, const char*>> kPhotoPairs = {
    {"coffee", "chelsea"}, {"chelsea", "astronaut"}, {"astronaut", "coffee"}};

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

    // The sample at half size, and with the edit made by ImageMagick.
    std::pair<PixelBuffer, PixelBuffer> pair(const std::string& photo, const Edit& edit)
    {
        const path before = folder_ / (photo + ".png");
        const path after = folder_ / (photo + "-edited.png");
        const std::string source = (samples / (photo + ".png")).string();
        const std::string resize = "convert '" + source + "' -resize 50% '" + before.string() + "'";
        const std::string made =
            "convert '" + before.string() + "' " + edit.arguments + " '" + after.string() + "'";
        EXPECT_EQ(std::system(resize.c_str()), 0);
        EXPECT_EQ(std::system(made.c_str()), 0) << made;
        return {ImageLoader::loadExact(before), ImageLoader::loadExact(after)};
    }
};

TEST_F(EditCarryOver, ExtendedEditsCarryOverToAnotherPhotoAndStillFitTheirOwn)
{
    for (const Edit& edit : edits()) {
        for (const auto& [learned, applied] : kPhotoPairs) {
            const auto [before, after] = pair(learned, edit);
            const auto [otherBefore, otherAfter] = pair(applied, edit);
            const EditSystem system =
                EditLearner::prepare(before, after, GradeRecipe::editLatticeSize);
            const float smoothing = static_cast<float>(GradeRecipe::smoothingRange.defaultValue);
            const EditFit plain = EditLearner::solve(system, smoothing);
            const EditFit extended = EditLearner::solve(system, smoothing, EditPrior::overallEdit);
            const float plainOther = rmsLevels(plain.lut, otherBefore, otherAfter);
            const float extendedOther = rmsLevels(extended.lut, otherBefore, otherAfter);
            const float noLUT = rmsLevels(LUT3D::identity(2), otherBefore, otherAfter);
            std::printf("%-20s %-9s -> %-9s  own %.2f / %.2f   other %.2f / %.2f   no LUT %.2f\n",
                        edit.name, learned, applied, plain.rmsError, extended.rmsError, plainOther,
                        extendedOther, noLUT);
            EXPECT_LE(extendedOther, edit.carryOver)
                << edit.name << ", " << learned << " on " << applied;
            EXPECT_LE(extended.rmsError, plain.rmsError + kSelfFitSlack)
                << edit.name << " on " << learned;
            EXPECT_TRUE(extended.followsOverallEdit);
            EXPECT_FALSE(plain.followsOverallEdit);
        }
    }
}

}  // namespace
}  // namespace lumivert
