// The colour-space conversions against OpenColorIO's own tools: a config written here defines
// every space of the table by its built-ins (linear Rec.709 by the ACES configs' published
// matrix), and ociobakelut bakes each conversion for comparison. Those cases skip when the tool
// (Debian package opencolorio-tools) is missing; the rest need only the library.
#include "color/ColorMath.hpp"
#include "color/ocio/LogShaper.hpp"
#include "color/ocio/SpaceConversion.hpp"
#include "learners/GradePipeline.hpp"

#include "support/ColorExpectations.hpp"
#include "support/ExternalTool.hpp"
#include "support/FolderTest.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <tuple>

namespace lumivert {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t latticeSize = 33;
constexpr float nodeTolerance = 1.0e-4f;

const std::string_view configHead = R"(ocio_profile_version: 2
roles: {default: aces2065-1, aces_interchange: aces2065-1, cie_xyz_d65_interchange: xyz}
file_rules: [!<Rule> {name: Default, colorspace: default}]
displays: {sRGB: [!<View> {name: ACES, view_transform: aces-sdr, display_colorspace: srgb}]}
view_transforms:
  - !<ViewTransform> {name: aces-sdr, from_scene_reference: !<BuiltinTransform> {style: ACES-OUTPUT - ACES2065-1_to_CIE-XYZ-D65 - SDR-VIDEO_1.0}}
display_colorspaces:
  - !<ColorSpace> {name: xyz}
  - !<ColorSpace> {name: srgb, from_display_reference: !<BuiltinTransform> {style: DISPLAY - CIE-XYZ-D65_to_sRGB}}
  - !<ColorSpace> {name: rec709, from_display_reference: !<BuiltinTransform> {style: DISPLAY - CIE-XYZ-D65_to_REC.1886-REC.709}}
  - !<ColorSpace> {name: rec2020, from_display_reference: !<BuiltinTransform> {style: DISPLAY - CIE-XYZ-D65_to_REC.1886-REC.2020}}
colorspaces:
  - !<ColorSpace> {name: aces2065-1}
)";

struct SceneSpace {
    std::string_view name;
    std::string_view toAces;  // OpenColorIO's YAML
    bool linear = false;
};

const SceneSpace sceneSpaces[] = {
    {"linear-rec709",
     "!<MatrixTransform> {matrix: [0.439632981919491, 0.382988698151554, 0.177378319928955, 0, "
     "0.0897764429588424, 0.813439428748981, 0.0967841282921771, 0, 0.0175411703831727, "
     "0.111546553302387, 0.870912276314442, 0, 0, 0, 0, 1]}",
     true},
    {"acescg", "!<BuiltinTransform> {style: ACEScg_to_ACES2065-1}", true},
    {"acescct", "!<BuiltinTransform> {style: ACEScct_to_ACES2065-1}"},
    {"slog3-sgamut3cine", "!<BuiltinTransform> {style: SONY_SLOG3-SGAMUT3.CINE_to_ACES2065-1}"},
    {"slog3-sgamut3", "!<BuiltinTransform> {style: SONY_SLOG3-SGAMUT3_to_ACES2065-1}"},
    {"logc3-awg", "!<BuiltinTransform> {style: ARRI_ALEXA-LOGC-EI800-AWG_to_ACES2065-1}"},
    {"clog2-cinemagamut", "!<BuiltinTransform> {style: CANON_CLOG2-CGAMUT_to_ACES2065-1}"},
    {"clog3-cinemagamut", "!<BuiltinTransform> {style: CANON_CLOG3-CGAMUT_to_ACES2065-1}"},
    {"vlog-vgamut", "!<BuiltinTransform> {style: PANASONIC_VLOG-VGAMUT_to_ACES2065-1}"},
    {"log3g10-rwg", "!<BuiltinTransform> {style: RED_LOG3G10-RWG_to_ACES2065-1}"},
};

// 0.18 × 2^(14 × place − 8): the shaper's node places back to linear values.
const std::string_view placeToLinear =
    "!<LogAffineTransform> {base: 2, log_side_slope: 0.0714285714285714, log_side_offset: "
    "0.571428571428571, lin_side_slope: 5.55555555555556, direction: inverse}";

// Every space of the table by hand; scene-linear ones also "-shaped", the place → linear step
// in front, so that ociobakelut's lattice lands on the linear values of our shaped nodes.
std::string configText()
{
    std::string text(configHead);
    for (const SceneSpace& space : sceneSpaces) {
        const std::string name(space.name);
        const std::string toAces(space.toAces);
        text += "  - !<ColorSpace> {name: " + name +
                (space.linear ? ", encoding: scene-linear" : "") +
                ", to_scene_reference: " + toAces + "}\n";
        if (space.linear)
            text += "  - !<ColorSpace> {name: " + name +
                    "-shaped, to_scene_reference: " + "!<GroupTransform> {children: [" +
                    std::string(placeToLinear) + ", " + toAces + "]}}\n";
    }
    return text;
}

// The 3D table of a .cube in file order, clamped. ociobakelut writes a conversion without
// cross-talk as three curves of latticeSize points instead: each channel of a node then comes from
// the curve entry of its own index.
std::vector<RGB> cubeEntries(const fs::path& path)
{
    std::ifstream in(path);
    std::vector<RGB> entries;
    for (std::string line; std::getline(in, line);) {
        RGB entry;
        if (std::sscanf(line.c_str(), "%f %f %f", &entry.r, &entry.g, &entry.b) == 3)
            entries.push_back(clamp01(entry));
    }
    if (entries.size() != static_cast<std::size_t>(latticeSize))
        return entries;
    std::vector<RGB> table;
    for (const RGB& blue : entries)
        for (const RGB& green : entries)
            for (const RGB& red : entries)
                table.push_back({red.r, green.g, blue.b});
    return table;
}

// A grade that is neither separable nor linear: a warm, crossed mix with a curve.
class CrossedGrade final : public ColorTransform {
public:
    RGB apply(const RGB& c) const override
    {
        return {0.8f * c.r + 0.2f * c.g * c.b + 0.05f, c.g * c.g, 0.5f * (c.b + c.r)};
    }
};

class SpaceConversionFiles : public fixtures::FolderTest {
protected:
    void SetUp() override
    {
        FolderTest::SetUp();
        config_ = folder_ / "spaces.ocio";
        std::ofstream(config_) << configText();
    }

    fs::path config_;
};

using SpacePair = std::tuple<ColorSpace, ColorSpace>;

std::string pairName(const testing::TestParamInfo<SpacePair>& info)
{
    std::string name = std::string(ColorSpaces::row(std::get<0>(info.param)).key) + "_to_" +
                       std::string(ColorSpaces::row(std::get<1>(info.param)).key);
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

std::vector<ColorSpace> everyRow()
{
    std::vector<ColorSpace> spaces;
    for (const ColorSpaceRow& row : ColorSpaces::all())
        spaces.push_back(row.space);
    return spaces;
}

class SpaceConversionAgainstOCIO : public SpaceConversionFiles,
                                   public testing::WithParamInterface<SpacePair> {
protected:
    void SetUp() override
    {
        tool_ = fixtures::findOnPath("ociobakelut");
        if (!tool_)
            GTEST_SKIP() << fixtures::missingTool("ociobakelut", "opencolorio-tools");
        SpaceConversionFiles::SetUp();
    }

    std::vector<RGB> bakedByOCIO(const std::string& input, const std::string& output)
    {
        const fs::path cube = folder_ / (input + ".cube");
        const std::string command =
            "'" + tool_->string() + "' --iconfig '" + config_.string() + "' --inputspace " + input +
            " --outputspace " + output + " --format resolve_cube --cubesize " +
            std::to_string(latticeSize) + " '" + cube.string() + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return cubeEntries(cube);
    }

    std::optional<fs::path> tool_;
};

TEST_P(SpaceConversionAgainstOCIO, IdentityGradeMatchesItsBakeAtEveryNode)
{
    const auto [inputSpace, outputSpace] = GetParam();
    const ColorSpaceRow& input = ColorSpaces::row(inputSpace);
    const SpaceConversion conversion = SpaceConversion::builtin(inputSpace, outputSpace);
    const bool shaped = input.kind == ColorSpaceKind::sceneLinear;
    ASSERT_EQ(conversion.hasShaper(), shaped);
    const std::vector<RGB> expected =
        bakedByOCIO(std::string(input.key) + (shaped ? "-shaped" : ""),
                    std::string(ColorSpaces::row(outputSpace).key));

    const LUTStack direct = conversion.conversion(latticeSize);
    const LUTStack graded = conversion.graded(IdentityTransform{}, latticeSize);
    EXPECT_EQ(direct.hasCurves(), shaped);
    const float directDifference = largestDifference(direct.table().values(), expected);
    const float gradedDifference = largestDifference(graded.table().values(), expected);
    EXPECT_LE(directDifference, nodeTolerance);
    EXPECT_LE(gradedDifference, nodeTolerance);
    std::ostringstream largest;
    largest << std::setprecision(3) << std::max(directDifference, gradedDifference);
    RecordProperty("largest_difference", largest.str());
}

INSTANTIATE_TEST_SUITE_P(EveryRow, SpaceConversionAgainstOCIO,
                         testing::Combine(testing::ValuesIn(everyRow()),
                                          testing::Values(ColorSpace::srgb, ColorSpace::rec709)),
                         pairName);

TEST_F(SpaceConversionFiles, UserConfigGivesTheBuiltinConversion)
{
    const LUTStack fromConfig =
        SpaceConversion::fromConfig(config_, "vlog-vgamut", "rec709").conversion(latticeSize);
    const LUTStack builtin = SpaceConversion::builtin(ColorSpace::vlogVGamut, ColorSpace::rec709)
                                 .conversion(latticeSize);
    EXPECT_LE(largestDifference(fromConfig.table().values(), builtin.table().values()), 1.0e-5f);
    EXPECT_EQ(SpaceConversion::fromConfig(config_, "vlog-vgamut", "rec709").inputTitle(),
              "vlog-vgamut");
    const LUT3D encoded = SpaceConversion::fromConfig(config_, "vlog-vgamut", "srgb").encoding(9);
    EXPECT_LE(largestDifference(encoded.values(),
                                SpaceConversion::builtin(ColorSpace::vlogVGamut, ColorSpace::srgb)
                                    .encoding(9)
                                    .values()),
              1.0e-5f);
    // The config's encoding says which inputs are scene-linear.
    EXPECT_TRUE(SpaceConversion::fromConfig(config_, "linear-rec709", "srgb").hasShaper());
    EXPECT_FALSE(SpaceConversion::fromConfig(config_, "vlog-vgamut", "srgb").hasShaper());
}

TEST_F(SpaceConversionFiles, UserConfigErrorsAreSentencesNamingTheProblem)
{
    const auto messageOf = [](const fs::path& config, std::string_view input) {
        try {
            SpaceConversion::fromConfig(config, input, "srgb");
        } catch (const ColorSpaceError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(messageOf(config_, "slog2"), "The OpenColorIO config \u201C" + config_.string() +
                                               "\u201D has no colour space or role called "
                                               "\u201Cslog2\u201D.");
    const fs::path missing = folder_ / "missing.ocio";
    EXPECT_EQ(messageOf(missing, "acescg"),
              "The OpenColorIO config \u201C" + missing.string() + "\u201D does not exist.");
    // A file OpenColorIO refuses: its own reason sits inside the sentence.
    const fs::path broken = folder_ / "broken.ocio";
    std::ofstream(broken) << "ocio_profile_version: 2\ncolorspaces: [\n";
    const std::string refused = messageOf(broken, "acescg");
    EXPECT_TRUE(refused.starts_with("The OpenColorIO config \u201C" + broken.string() +
                                    "\u201D could not be used: "))
        << refused;
    EXPECT_TRUE(refused.ends_with(".")) << refused;
}

TEST(SpaceConversion, SRGBToSRGBIsExactlyTheIdentityAndTheGradesOwnBake)
{
    const SpaceConversion conversion = SpaceConversion::builtin(ColorSpace::srgb, ColorSpace::srgb);
    EXPECT_TRUE(conversion.isIdentity());
    EXPECT_TRUE(SpaceConversion{}.isIdentity());
    EXPECT_EQ(conversion.conversion(latticeSize), LUTStack(LUT3D::identity(latticeSize)));
    EXPECT_EQ(conversion.rendering(17), LUTStack(LUT3D::identity(17)));
    const CrossedGrade grade;
    EXPECT_EQ(conversion.graded(grade, latticeSize),
              LUTStack(LUT3D::build(latticeSize, [&](const RGB& c) { return grade.apply(c); })));
    // The default spaces leave today's tables byte for byte.
    const GradePipeline pipeline(std::make_shared<CrossedGrade>(), 0.7f,
                                 FineTune{.temperature = 0.4f, .saturation = -0.2f});
    EXPECT_EQ(conversion.graded(pipeline, latticeSize), LUTStack(pipeline.makeLUT(latticeSize)));
}

TEST(SpaceConversion, GradedIsTheOutputDisplayOfTheGradeOfTheRendering)
{
    const SpaceConversion conversion =
        SpaceConversion::builtin(ColorSpace::slog3SGamut3Cine, ColorSpace::rec709);
    EXPECT_FALSE(conversion.isIdentity());
    EXPECT_EQ(conversion.inputTitle(), "S-Log3 / S-Gamut3.Cine");
    EXPECT_EQ(conversion.outputTitle(), "Rec.709");
    EXPECT_EQ(SpaceConversion{}.outputTitle(), "sRGB");
    const LUT3D rendering = conversion.rendering(latticeSize).table();
    const LUT3D graded = conversion.graded(CrossedGrade{}, latticeSize).table();
    // sRGB and Rec.709 share primaries: the output display is the sRGB decoding followed by the
    // BT.1886 encoding, a 2.4 power.
    std::vector<RGB> expected;
    for (const RGB& rendered : rendering.values()) {
        const RGB linear = ColorMath::decode(clamp01(CrossedGrade{}.apply(rendered)));
        expected.push_back({std::pow(linear.r, 1.0f / 2.4f), std::pow(linear.g, 1.0f / 2.4f),
                            std::pow(linear.b, 1.0f / 2.4f)});
    }
    EXPECT_LE(largestDifference(graded.values(), expected), 2.0e-5f);
}

TEST(SpaceConversion, ShaperKeepsSceneLinearShadowsAndHighlights)
{
    const SpaceConversion conversion =
        SpaceConversion::builtin(ColorSpace::linearRec709, ColorSpace::srgb);
    const LUTStack shaped = conversion.conversion(latticeSize);
    ASSERT_TRUE(shaped.hasCurves());
    EXPECT_EQ(shaped.curves(), LogShaper::curves());
    // Greys and colours from 5 stops below mid grey to 6 above, against the exact conversion.
    std::vector<RGB> inputs;
    for (float stops = -5.0f; stops <= 6.0f; stops += 0.25f) {
        const float grey = 0.18f * std::exp2(stops);
        inputs.push_back({grey, grey, grey});
        inputs.push_back({grey, 0.5f * grey, 0.25f * grey});
    }
    std::vector<RGB> exact = inputs;
    LatticeProcessor(ColorSpaces::chain(ColorSpace::linearRec709, ColorSpace::srgb)).apply(exact);
    std::vector<RGB> looked;
    for (const RGB& input : inputs)
        looked.push_back(shaped.apply(input));
    for (RGB& value : exact)
        value = clamp01(value);
    EXPECT_LE(largestDifference(looked, exact), 0.005f);
}

TEST(SpaceConversion, EncodingUndoesTheRenderingOfEverySpace)
{
    constexpr std::int64_t size = 17;
    const LUT3D identity = LUT3D::identity(size);
    for (const ColorSpaceRow& row : ColorSpaces::all()) {
        const LUT3D encoded = SpaceConversion::builtin(row.space, ColorSpace::srgb).encoding(size);
        std::vector<RGB> back = encoded.values();
        LatticeProcessor(ColorSpaces::chain(row.space, ColorSpace::srgb)).apply(back);
        for (std::size_t i = 0; i < back.size(); ++i) {
            const RGB in = identity.values()[i];
            const RGB out = encoded.values()[i];
            ASSERT_TRUE(std::isfinite(out.r) && std::isfinite(out.g) && std::isfinite(out.b));
            const float error = largestDifference(back[i], in);
            // Greys come back exactly; the ACES output transform's inverse is approximate for
            // colours, and saturated ones near the cube's faces are beyond its reach, as is
            // display white for C-Log3, whose code values end first.
            const float lo = std::min({in.r, in.g, in.b});
            const float hi = std::max({in.r, in.g, in.b});
            if (lo == hi && hi < 1.0f)
                ASSERT_LE(error, 1.0e-4f) << row.key << " grey " << in.r;
            else if (lo >= 0.0625f && hi <= 0.9375f)
                ASSERT_LE(error, 0.01f) << row.key << " " << in.r << " " << in.g << " " << in.b;
        }
    }
}

TEST(SpaceConversion, TablesAreTheSameOnOneThreadCountAndAnother)
{
    const SpaceConversion conversion =
        SpaceConversion::builtin(ColorSpace::acescg, ColorSpace::rec2020);
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const LUTStack serialDirect = conversion.conversion(latticeSize);
    const LUTStack serialGraded = conversion.graded(CrossedGrade{}, latticeSize);
    omp_set_num_threads(3);
    const LUTStack parallelDirect = conversion.conversion(latticeSize);
    const LUTStack parallelGraded = conversion.graded(CrossedGrade{}, latticeSize);
    omp_set_num_threads(threads);
    EXPECT_EQ(serialDirect, parallelDirect);
    EXPECT_EQ(serialGraded, parallelGraded);
}

}  // namespace
}  // namespace lumivert
