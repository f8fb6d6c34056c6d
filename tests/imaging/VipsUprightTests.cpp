// Turning upright strip by strip gives the pixels and header of turning the whole image at once,
// for every orientation and for strips that do and do not divide the image.

#include "ImageFixtures.hpp"
#include "imaging/vips/VipsDecoder.hpp"
#include "imaging/vips/VipsUpright.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumivert {
namespace {

using fixtures::TemporaryFolder;
using vips::VImage;

std::vector<unsigned char> pixelsOf(const VImage& image)
{
    std::size_t size = 0;
    const std::unique_ptr<void, decltype(&g_free)> memory(image.write_to_memory(&size), &g_free);
    const auto* bytes = static_cast<const unsigned char*>(memory.get());
    return {bytes, bytes + size};
}

class VipsUprightStrips : public ::testing::TestWithParam<int> {};

TEST_P(VipsUprightStrips, GiveThePixelsOfTurningTheWholeImage)
{
    const int orientation = GetParam();
    fixtures::startVips();
    TemporaryFolder folder;
    // Odd sides and seeded noise, so that an off-by-one row or a mirrored strip shows.
    VImage stored = VImage::gaussnoise(37, 23, VImage::option()->set("seed", orientation))
                        .bandjoin_const({0, 0})
                        .cast(VIPS_FORMAT_UCHAR)
                        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    stored = stored + VImage::xyz(37, 23).extract_band(0).cast(VIPS_FORMAT_UCHAR);
    stored = stored.cast(VIPS_FORMAT_UCHAR).copy();
    stored.set(VIPS_META_ORIENTATION, orientation);
    const auto location = folder / "stored.tif";
    fixtures::writeBytes(location, fixtures::encode(stored, ".tif"));

    const VImage whole = VImage::new_from_file(location.c_str()).copy_memory().autorot();
    const std::vector<unsigned char> expected = pixelsOf(whole);
    const std::int64_t rowBytes = std::int64_t{whole.width()} * 3;
    for (const std::int64_t stripBytes :
         {std::int64_t{1}, rowBytes * 2, rowBytes * 7 + 1, VipsUpright::defaultStripBytes}) {
        SCOPED_TRACE("orientation " + std::to_string(orientation) + ", strips of " +
                     std::to_string(stripBytes) + " bytes");
        const VipsDecoder::OpenedImage opened = VipsDecoder::open(location, 1'000'000);
        const VImage upright = VipsUpright::whileStreaming(opened, stripBytes);
        EXPECT_EQ(upright.width(), whole.width());
        EXPECT_EQ(upright.height(), whole.height());
        EXPECT_EQ(upright.bands(), whole.bands());
        EXPECT_TRUE(pixelsOf(upright) == expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Orientations, VipsUprightStrips, ::testing::Range(1, 9));

}  // namespace
}  // namespace lumivert
