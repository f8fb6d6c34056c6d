#include "lut/LUTFormat.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

namespace lumivert {
namespace {

TEST(LUTFormatCases, ComeInPanelOrderWithTheirTexts)
{
    const auto all = LUTFormat::allCases();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], LUTFormat::cube);
    EXPECT_EQ(all[1], LUTFormat::threeDL);
    EXPECT_EQ(all[2], LUTFormat::hald);

    EXPECT_EQ(LUTFormat(LUTFormat::cube).rawValue(), "cube");
    EXPECT_EQ(LUTFormat(LUTFormat::threeDL).rawValue(), "3dl");
    EXPECT_EQ(LUTFormat(LUTFormat::hald).rawValue(), "png");
    EXPECT_EQ(LUTFormat(LUTFormat::cube).title(), ".cube");
    EXPECT_EQ(LUTFormat(LUTFormat::threeDL).title(), ".3dl");
    EXPECT_EQ(LUTFormat(LUTFormat::hald).title(), "HALD .png");
    EXPECT_EQ(LUTFormat(LUTFormat::threeDL).compatibility(),
              "Photoshop, Autodesk Flame and Lustre, Nuke, DaVinci Resolve");
    EXPECT_EQ(LUTFormat(LUTFormat::hald).compatibility(),
              "Affinity Photo, GIMP (G'MIC), darktable, RawTherapee, ImageMagick");
    EXPECT_EQ(LUTFormat(LUTFormat::cube).compatibility(),
              "Photoshop, Lightroom profiles, Premiere, After Effects, DaVinci Resolve, Final "
              "Cut Pro, Affinity Photo, Pixelmator Pro, Capture One");
    for (LUTFormat format : all) {
        EXPECT_EQ(format.id(), format.rawValue());
        EXPECT_EQ(format.fileExtension(), format.rawValue());
    }
}

TEST(LUTFormatRawValue, AcceptsExactlyTheThreeExtensions)
{
    for (LUTFormat format : LUTFormat::allCases())
        EXPECT_EQ(LUTFormat::fromRawValue(format.rawValue()), format);
    EXPECT_EQ(LUTFormat::fromRawValue("3dl"), LUTFormat::threeDL);
    for (const char* other : {"3DL", "cube ", "Cube", ".cube", "", "hald", "PNG"})
        EXPECT_FALSE(LUTFormat::fromRawValue(other).has_value()) << other;
}

TEST(LUTFormatValue, IsEquatableAndHashable)
{
    const std::unordered_set<LUTFormat> formats = {LUTFormat::cube, LUTFormat::hald,
                                                   LUTFormat::cube};
    EXPECT_EQ(formats.size(), 2u);
    EXPECT_TRUE(formats.contains(LUTFormat::hald));
    EXPECT_FALSE(formats.contains(LUTFormat::threeDL));
    EXPECT_NE(LUTFormat(LUTFormat::cube), LUTFormat(LUTFormat::threeDL));
}

}  // namespace
}  // namespace lumivert
