// Files exchanged with OpenColorIO's ociobakelut: it reads the files this writer makes and bakes
// them again in its own .cube and .3dl flavours, which this reader must read back. Skips when
// the tool (Debian package opencolorio-tools) is not installed.
#include "color/ColorMath.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include "support/ExternalTool.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace lumivert {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t latticeSize =
    17;  // 2⁴ + 1: the Lustre flavour needs a power of two plus one
constexpr float cubeTolerance = 2.0e-6f;  // six decimals written twice, plus float spacing
constexpr float twelveBitTolerance = 0.5f / 4095.0f + 1.0e-6f;

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A warm, contrasty, non-separable grade that clips a little at both ends.
LUT3D sampleGrade()
{
    return LUT3D::build(latticeSize, [](const RGB& c) {
        const float luma = ColorMath::luma(c);
        return RGB{1.1f * c.r + 0.05f * luma - 0.02f, 0.9f * c.g + 0.1f * c.b * c.r,
                   c.b * c.b + 0.03f};
    });
}

void expectWithin(const LUT3D& actual, const LUT3D& expected, float tolerance)
{
    ASSERT_EQ(actual.size(), expected.size());
    float worst = 0.0f;
    for (std::size_t i = 0; i < expected.values().size(); ++i) {
        const RGB difference = actual.values()[i] - clamp01(expected.values()[i]);
        worst = std::max(
            {worst, std::fabs(difference.r), std::fabs(difference.g), std::fabs(difference.b)});
    }
    EXPECT_LE(worst, tolerance);
}

class OCIOInteropTest : public testing::Test {
protected:
    void SetUp() override
    {
        tool_ = fixtures::findOnPath("ociobakelut");
        if (!tool_)
            GTEST_SKIP() << fixtures::missingTool("ociobakelut", "opencolorio-tools");
        folder_ = fs::temp_directory_path() / ("lumivert-ocio-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override
    {
        if (!folder_.empty())
            fs::remove_all(folder_);
    }

    // Bakes the input LUT file into the given ociobakelut format at the same size, with the
    // shaper size given or the format's own.
    fs::path bake(const fs::path& input, const std::string& format, const std::string& name,
                  std::optional<int> shaperSize = std::nullopt)
    {
        const fs::path output = folder_ / name;
        const std::string shaper =
            shaperSize ? " --shapersize " + std::to_string(*shaperSize) : std::string();
        const std::string command = "'" + tool_->string() + "' --lut '" + input.string() +
                                    "' --cubesize " + std::to_string(latticeSize) + shaper +
                                    " --format " + format + " '" + output.string() +
                                    "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return output;
    }

    std::optional<fs::path> tool_;
    fs::path folder_;
};

TEST_F(OCIOInteropTest, ItsCubeFlavoursOfOurCubeReadBack)
{
    const LUT3D lut = sampleGrade();
    const fs::path ours = folder_ / "ours.cube";
    LUTWriter::write(lut, LUTFormat::cube, "Caf\u00E9 interop", ours);
    for (const std::string format : {"resolve_cube", "iridas_cube"}) {
        SCOPED_TRACE(format);
        const fs::path theirs = bake(ours, format, format + ".cube");
        expectWithin(LUTReader::read(theirs).table(), lut, cubeTolerance);
        expectWithin(LUTReader::cube(readText(theirs)).lut.table(), lut, cubeTolerance);
    }
}

TEST_F(OCIOInteropTest, ItsThreeDLFlavoursOfOurCubeReadBack)
{
    const LUT3D lut = sampleGrade();
    const fs::path ours = folder_ / "ours.cube";
    LUTWriter::write(lut, LUTFormat::cube, "interop", ours);
    // A 1024-value shaper line is the 17-point table's inputs at a finer spacing.
    for (const std::string format : {"flame", "lustre"}) {
        for (const std::optional<int> shaperSize : {std::optional<int>(), std::optional(1024)}) {
            SCOPED_TRACE(format + " shaper " + std::to_string(shaperSize.value_or(0)));
            const fs::path file = bake(ours, format, format + ".3dl", shaperSize);
            expectWithin(LUTReader::read(file).table(), lut, twelveBitTolerance + cubeTolerance);
        }
    }
}

TEST_F(OCIOInteropTest, ItReadsOurThreeDL)
{
    const LUT3D lut = sampleGrade();
    const fs::path ours = folder_ / "ours.3dl";
    LUTWriter::write(lut, LUTFormat::threeDL, "", ours);
    expectWithin(LUTReader::read(bake(ours, "resolve_cube", "from3dl.cube")).table(), lut,
                 twelveBitTolerance + cubeTolerance);
}

}  // namespace
}  // namespace lumivert
