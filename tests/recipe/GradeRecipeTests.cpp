#include "recipe/Adjustments.hpp"
#include "recipe/GradeRecipe.hpp"

#include "color/ColorMath.hpp"
#include "imaging/ImageFixtures.hpp"
#include "imaging/ImageLoader.hpp"
#include "learners/LookExtractor.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTWriter.hpp"
#include "support/EditPhotos.hpp"
#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace lumivert {
namespace {

using namespace GradeRecipe;
using std::filesystem::path;

const path samples = LUMIVERT_SAMPLES_DIR;

std::vector<Input> inputsOf(Mode mode, const std::vector<path>& files)
{
    std::vector<Input> inputs;
    for (std::size_t i = 0; i < files.size(); ++i)
        inputs.push_back(load(recipe(mode).slots[i], files[i]));
    return inputs;
}

TEST(GradeRecipeTable, EverySlotButThePreviewBelongsToExactlyOneMode)
{
    std::set<Slot> seen;
    for (const ModeRecipe& row : modes()) {
        EXPECT_EQ(&recipe(row.mode), &row);
        EXPECT_EQ(modeNamed(row.id), row.mode);
        EXPECT_TRUE(row.uses(row.nameSlot)) << row.id;
        for (Slot slot : row.slots) {
            EXPECT_TRUE(seen.insert(slot).second) << recipe(slot).id;
            EXPECT_EQ(modeOf(slot), row.mode);
        }
    }
    EXPECT_EQ(seen.size(), slots().size() - 1);
    EXPECT_FALSE(modeOf(Slot::preview));
    EXPECT_FALSE(modeNamed("Look"));
    for (const SlotRecipe& row : slots())
        EXPECT_EQ(&recipe(row.slot), &row);
}

TEST(GradeRecipeTable, DefaultsLieInTheirRanges)
{
    for (const Range& range : {intensityRange, strengthRange, fineTuneRange, smoothingRange}) {
        EXPECT_LT(range.lower, range.upper);
        EXPECT_TRUE(range.contains(range.defaultValue));
    }
    for (const Adjustment& row : adjustments())
        for (const AdjustmentValue& value : row.values)
            EXPECT_TRUE(row.range.contains(value.defaultValue())) << row.key << " " << value.key;
    EXPECT_TRUE(isExportSize(defaultExportSize));
    EXPECT_FALSE(isExportSize(32));
    EXPECT_EQ(intensityRange.text(), "0\u20261.5");
    EXPECT_EQ(fineTuneRange.text(), "-1\u20261");
}

TEST(GradeRecipeNames, FollowTheNamingSlotOnly)
{
    EXPECT_EQ(suggestedName(Mode::look, {{Slot::lookReference, "sunset"}}), "sunset Look");
    EXPECT_EQ(suggestedName(Mode::match, {{Slot::matchSource, "mine"}}), std::nullopt);
    EXPECT_EQ(suggestedName(Mode::match, {{Slot::matchReference, "film"}}), "film Match");
    EXPECT_EQ(suggestedName(Mode::edit, {{Slot::editBefore, "a"}, {Slot::editAfter, "b"}}),
              "b Edit");
    EXPECT_EQ(suggestedName(Mode::hald, {{Slot::hald, "graded"}}), "graded");
    EXPECT_EQ(suggestedName(Mode::hald, {{Slot::hald, ""}}), "HALD");
    EXPECT_EQ(suggestedName(Mode::look, {{Slot::lookReference, ""}}), "Photo Look");
}

TEST(GradeRecipePipeline, WithoutAResultEveryModeIsTheIdentityUntilFineTuned)
{
    const Results none;
    Settings settings;
    for (const ModeRecipe& row : modes()) {
        EXPECT_FALSE(none.has(row.mode));
        EXPECT_FALSE(statusLine(row.mode, none, {}));
        EXPECT_EQ(pipeline(row.mode, none, settings).makeLUT(5).maxDeviationFromIdentity(), 0.0f);
    }
    settings.fineTune.temperature = 0.5f;
    EXPECT_GT(pipeline(Mode::look, none, settings).makeLUT(5).maxDeviationFromIdentity(), 0.01f);
}

// A saturation boost that pushes bright colours out of sRGB brings them back the way the mode's
// grade does: with the highlight-safe mapping a boosted pale yellow keeps more of its colour,
// colours that stay inside are untouched, and modes that never map the gamut ignore the setting.
TEST(GradeRecipePipeline, FineTuneBringsColoursBackByTheModesGamutMapping)
{
    const Results none;
    Settings plain;
    plain.fineTune.saturation = 0.8f;
    Settings smooth = plain;
    smooth.gamut = GamutMapping::smooth;
    const auto chroma = [](const RGB& colour) {
        const Lab lab = ColorMath::linearToOklab(ColorMath::decode(colour));
        return std::hypot(lab.a, lab.b);
    };
    for (const ModeRecipe& row : modes()) {
        const GradePipeline preserving = pipeline(row.mode, none, plain);
        const GradePipeline mapping = pipeline(row.mode, none, smooth);
        const RGB grey{0.5f, 0.48f, 0.45f};
        EXPECT_EQ(mapping.apply(grey), preserving.apply(grey)) << row.id;
        const RGB yellow{1.0f, 0.99f, 0.7f};  // lighter than the cusp of its hue
        if (row.mapsGamut)
            EXPECT_GT(chroma(mapping.apply(yellow)), chroma(preserving.apply(yellow)) + 0.02f)
                << row.id;
        else
            EXPECT_EQ(mapping.apply(yellow), preserving.apply(yellow)) << row.id;
    }
}

// Each mode's result drives only its own pipeline, and only its own settings change it.
TEST(GradeRecipePipeline, EachModeReadsItsOwnResultAndSettings)
{
    Results results;
    const Settings defaults;
    results.store(analyse(Mode::look, inputsOf(Mode::look, {samples / "coffee.png"}), defaults));
    results.store(analyse(Mode::match,
                          inputsOf(Mode::match, {samples / "chelsea.png", samples / "coffee.png"}),
                          defaults));
    ASSERT_TRUE(results.has(Mode::look));
    ASSERT_TRUE(results.has(Mode::match));
    EXPECT_FALSE(results.has(Mode::edit));

    const LUT3D look = pipeline(Mode::look, results, defaults).makeLUT(9);
    const LUT3D match = pipeline(Mode::match, results, defaults).makeLUT(9);
    EXPECT_GT(look.maxDeviationFromIdentity(), 0.02f);
    EXPECT_GT(match.maxDeviationFromIdentity(), 0.02f);
    EXPECT_NE(look, match);

    Settings weakerLook = defaults;
    weakerLook.look.tone = 0.1f;
    EXPECT_NE(pipeline(Mode::look, results, weakerLook).makeLUT(9), look);
    EXPECT_EQ(pipeline(Mode::match, results, weakerLook).makeLUT(9), match);

    Settings halfIntensity = defaults;
    halfIntensity.intensity = 0;
    EXPECT_EQ(pipeline(Mode::match, results, halfIntensity).makeLUT(9).maxDeviationFromIdentity(),
              0.0f);

    results.clear(Mode::look);
    EXPECT_FALSE(results.has(Mode::look));
    EXPECT_EQ(pipeline(Mode::match, results, defaults).makeLUT(9), match);
    EXPECT_EQ(statusLine(Mode::match, results,
                         {{Slot::matchSource, "chelsea"}, {Slot::matchReference, "coffee"}}),
              "Matching \u201Cchelsea\u201D to \u201Ccoffee\u201D");
    EXPECT_FALSE(statusLine(Mode::match, results, {{Slot::matchSource, "chelsea"}}));
}

TEST(GradeRecipeLook, SamplePhotoPaletteIsTheConvergedOne)
{
    // Pinned from a run to convergence: a k-means cut short finds fewer, blended colours.
    const struct {
        float weight;
        Lab lab;
    } expected[] = {{0.5388f, {0.5932f, 0.1218f, 0.0904f}},
                    {0.2335f, {0.5329f, 0.0187f, 0.0518f}},
                    {0.1128f, {0.3722f, 0.0910f, 0.0394f}},
                    {0.0640f, {0.3233f, 0.0445f, -0.0933f}},
                    {0.0457f, {0.4193f, 0.0286f, -0.0316f}}};
    const std::vector<Input> inputs = inputsOf(Mode::look, {samples / "astronaut.png"});
    const auto analysis = std::get<LookAnalysis>(analyse(Mode::look, inputs, Settings{}));
    ASSERT_EQ(analysis.palette.size(), std::size(expected));
    for (std::size_t i = 0; i < analysis.palette.size(); ++i) {
        const PaletteColor& colour = analysis.palette[i];
        EXPECT_NEAR(colour.weight, expected[i].weight, 1e-3f) << i;
        EXPECT_NEAR(colour.lab.L, expected[i].lab.L, 2e-3f) << i;
        EXPECT_NEAR(colour.lab.a, expected[i].lab.a, 2e-3f) << i;
        EXPECT_NEAR(colour.lab.b, expected[i].lab.b, 2e-3f) << i;
    }
}

class GradeRecipeFiles : public fixtures::FolderTest {};

TEST_F(GradeRecipeFiles, EditKeepsItsSystemSoARefitMatchesAFreshAnalysis)
{
    const path before = folder_ / "before.png";
    const path after = folder_ / "after.png";
    ImageLoader::writePNG(fixtures::photo(240, 160), before, false);
    const PixelBuffer photo = fixtures::photo(240, 160);
    const LUT3D grade = LUT3D::build(17, fixtures::warmGrade);
    ImageLoader::writePNG(fixtures::edited(photo, grade), after, false);
    const std::vector<Input> inputs = inputsOf(Mode::edit, {before, after});

    Settings settings;
    Results results;
    results.store(analyse(Mode::edit, inputs, settings));
    ASSERT_TRUE(results.editSystem);
    ASSERT_TRUE(results.edit);
    EXPECT_EQ(results.edit->lut.size(), editLatticeSize);

    settings.smoothing = 0.2f;
    const EditFit refitted = refit(*results.editSystem, settings.smoothing);
    const auto fresh = std::get<EditAnalysis>(analyse(Mode::edit, inputs, settings));
    EXPECT_EQ(refitted.lut, fresh.fit.lut);
    EXPECT_EQ(refitted.rmsError, fresh.fit.rmsError);
    EXPECT_EQ(statusLine(Mode::edit, results, {}).value().rfind("Fit error ", 0), 0u);
}

TEST_F(GradeRecipeFiles, AHaldSlotCarriesItsFullSizeTableAndASmallThumbnail)
{
    const path hald = folder_ / "graded.png";
    ImageLoader::writePNG(HaldCLUT::identity(8), hald, true);
    const Input input = load(Slot::hald, hald);
    ASSERT_TRUE(input.table);
    EXPECT_EQ(input.table->size(), 64);
    EXPECT_LE(std::max(input.image.pixels().width(), input.image.pixels().height()),
              haldThumbnailSize);
    EXPECT_FALSE(load(Slot::preview, hald).table);

    Results results;
    results.store(analyse(Mode::hald, std::vector<Input>{input}, Settings{}));
    EXPECT_EQ(results.hald, input.table);
    EXPECT_EQ(statusLine(Mode::hald, results, {}), "HALD level 8 \u00B7 64-point cube");
}

// An 8192 × 8192 photo dropped on the HALD slot is refused from its header, with the reader's
// message; its few bytes of data show that nothing was decoded.
TEST_F(GradeRecipeFiles, AHaldSlotRefusesOtherShapesBeforeDecoding)
{
    const path photo = folder_ / "photo.png";
    fixtures::writeBytes(photo, fixtures::pngClaiming(8192, 8192));
    try {
        load(Slot::hald, photo);
        FAIL() << "a non-HALD image was loaded into the HALD slot";
    } catch (const HaldError& error) {
        EXPECT_STREQ(error.what(), HaldError::notHald(8192, 8192).what());
    }
}

}  // namespace
}  // namespace lumivert

namespace lumivert {
namespace {

using namespace GradeRecipe;

// With sRGB in and out, and in every mode the spaces do not apply to, the bake is the pipeline's
// own table and its file the same bytes as before the spaces existed.
TEST(GradeRecipeSpaces, SRGBToSRGBAndHaldFilesAreThePlainBakesBytes)
{
    Results results;
    results.store(LookExtractor::analyse(
        ImageLoader::load(samples / "coffee.png", analysisPixelSize).pixels()));
    Settings settings;
    settings.fineTune.temperature = 0.3f;
    for (const ModeRecipe& row : modes()) {
        const GradePipeline graded = pipeline(row.mode, results, settings);
        const std::string plain = LUTWriter::cube(graded.makeLUT(17), "Plain");
        const SpaceConversion spaces = spacesOf(row.mode, settings);
        EXPECT_TRUE(spaces.isIdentity());
        EXPECT_EQ(LUTWriter::cube(bake(row.mode, graded, spaces, 17), "Plain", spaceNotes(spaces)),
                  plain)
            << row.id;
        Settings camera = settings;
        camera.inputSpace = ColorSpace::slog3SGamut3Cine;
        if (!spaceModes.contains(row.mode)) {
            EXPECT_EQ(LUTWriter::cube(bake(row.mode, graded, spacesOf(row.mode, camera), 17),
                                      "Plain", spaceNotes(spacesOf(row.mode, camera))),
                      plain)
                << row.id;
        }
    }
}

// An edit maps the input space to the output directly (its photos were given so): at full
// intensity its table is the fit's own, at 0 the conversion S → D that no change between the
// photos means, and between them a blend of the two; only the notes name the spaces.
TEST(GradeRecipeSpaces, AnEditsIntensityBlendsItsFitFromTheConversion)
{
    Settings settings;
    settings.inputSpace = ColorSpace::vlogVGamut;
    settings.outputSpace = ColorSpace::rec709;
    const SpaceConversion spaces = spacesOf(Mode::edit, settings);
    const LUT3D conversion = spaces.conversion(9).bakedOnUnitDomain(9);
    const auto fit = std::make_shared<const LUT3D>(LUT3D::build(5, [](const RGB& c) {
        return RGB{0.9f * c.g, c.b * c.b, 0.2f + 0.7f * c.r};
    }));
    for (const float intensity : {1.0f, 0.0f, 0.4f}) {
        SCOPED_TRACE(intensity);
        const GradePipeline graded(fit, intensity, FineTune{});
        const LUTStack stack = bake(Mode::edit, graded, spaces, 9);
        EXPECT_FALSE(stack.hasCurves());
        if (intensity == 1.0f) {
            EXPECT_EQ(stack.table(), GradePipeline(fit, 1.0f, FineTune{}).makeLUT(9));
            continue;
        }
        const LUT3D full = GradePipeline(fit, 1.0f, FineTune{}).makeLUT(9);
        for (std::size_t i = 0; i < conversion.values().size(); ++i) {
            const RGB expected = clamp01(conversion.values()[i] +
                                         (full.values()[i] - conversion.values()[i]) * intensity);
            const RGB got = stack.table().values()[i];
            ASSERT_NEAR(got.r, expected.r, 1e-6f) << i;
            ASSERT_NEAR(got.g, expected.g, 1e-6f) << i;
            ASSERT_NEAR(got.b, expected.b, 1e-6f) << i;
        }
    }
    EXPECT_EQ(spaceNotes(spaces),
              (std::vector<std::string>{"Input: Panasonic V-Log / V-Gamut", "Output: Rec.709"}));
}

// A frame recorded in a camera's log, analysed with that input space, is seen as the photo it was
// made from: its levels and contrast are the photo's, not the flat frame's.
TEST(GradeRecipeSpaces, ALogFrameIsAnalysedAsItLooksRendered)
{
    const LoadedImage photo = ImageLoader::load(samples / "coffee.png", analysisPixelSize);
    Settings settings;
    settings.inputSpace = ColorSpace::slog3SGamut3Cine;
    settings.outputSpace = ColorSpace::rec709;
    const SpaceConversion spaces = spacesOf(Mode::look, settings);
    const LoadedImage frame(photo.name(),
                            photo.pixels().applying(spaces.encoding(renderingLatticeSize)));
    const std::vector<Input> inputs{{frame, nullptr}};
    const auto seen = std::get<LookAnalysis>(analyse(Mode::look, inputs, settings));
    const auto flat = std::get<LookAnalysis>(analyse(Mode::look, inputs, Settings{}));
    const LookAnalysis original = LookExtractor::analyse(photo.pixels());
    constexpr float levelTolerance = 0.03f;
    EXPECT_NEAR(seen.blackLevel, original.blackLevel, levelTolerance);
    EXPECT_NEAR(seen.whiteLevel, original.whiteLevel, levelTolerance);
    EXPECT_NEAR(seen.saturation, original.saturation, levelTolerance);
    // The flat frame itself reads as lifted and muted.
    EXPECT_GT(std::fabs(flat.saturation - original.saturation) +
                  std::fabs(flat.blackLevel - original.blackLevel),
              3 * levelTolerance);
}

}  // namespace
}  // namespace lumivert
