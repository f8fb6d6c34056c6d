// Damaged files are refused with the sentence any unreadable file gets, by every reader: files
// cut short in each format, and headers that claim far more pixels than the data holds (which a
// lenient decoder would fill with grey).

#include "ImageFixtures.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/RowGrader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace lumivert {
namespace {

using fixtures::TemporaryFolder;
using std::filesystem::path;
using vips::VImage;

VImage detailed(int width, int height)
{
    fixtures::startVips();
    return VImage::gaussnoise(width, height, VImage::option()->set("mean", 128)->set("sigma", 50))
        .bandjoin_const({0, 0})
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

// The first `share` of the file, which keeps its header and loses part of its data.
std::vector<unsigned char> cut(std::vector<unsigned char> bytes, double share)
{
    bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * share));
    return bytes;
}

struct DamagedCase {
    const char* name;  // the file's name; its extension picks the encoder
    std::function<std::vector<unsigned char>(const std::vector<unsigned char>&)> damage;
};

class DamagedFile : public ::testing::TestWithParam<DamagedCase> {};

void expectRefused(const std::function<void()>& read, const path& location, const char* reader)
{
    const std::string sentence =
        "\u201C" + location.filename().string() + "\u201D could not be opened as an image.";
    try {
        read();
        ADD_FAILURE() << reader << " read the damaged " << location.filename();
    } catch (const ImageLoaderError& error) {
        EXPECT_EQ(error.kind(), ImageLoaderError::Kind::unreadable) << reader;
        EXPECT_EQ(error.what(), sentence) << reader;
    }
}

TEST_P(DamagedFile, EveryReaderRefusesItAsUnreadable)
{
    const DamagedCase& c = GetParam();
    TemporaryFolder folder;
    const path input = folder / c.name;
    const std::string suffix = input.extension().string();
    std::vector<unsigned char> whole;
    try {
        whole = fixtures::encode(detailed(480, 320), suffix.c_str());
    } catch (const vips::VError& error) {
        GTEST_SKIP() << "libvips here cannot write " << suffix << ": " << error.what();
    }
    fixtures::writeBytes(input, c.damage(whole));
    const LUTStackGrader grader(LUTStack(LUT3D::identity(2)));

    expectRefused([&] { ImageLoader::load(input, 1600); }, input, "load");
    expectRefused([&] { ImageLoader::load(input, 64); }, input, "load, shrinking");
    expectRefused([&] { ImageLoader::loadExact(input); }, input, "loadExact");
    expectRefused([&] { ImageLoader::loadFull(input); }, input, "loadFull");
    expectRefused(
        [&] { ImageLoader::gradeFile(input, folder / "out.jpg", ImageFileType::jpeg, grader); },
        input, "gradeFile");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{c.name});
}

const auto half = [](const std::vector<unsigned char>& bytes) { return cut(bytes, 0.5); };
const auto mostOf = [](const std::vector<unsigned char>& bytes) { return cut(bytes, 0.9); };

INSTANTIATE_TEST_SUITE_P(
    Formats, DamagedFile,
    ::testing::Values(
        DamagedCase{"half.jpg", half}, DamagedCase{"most.jpg", mostOf},
        DamagedCase{"half.png", half}, DamagedCase{"most.png", mostOf},
        DamagedCase{"half.tif", half}, DamagedCase{"most.tif", mostOf},
        DamagedCase{"half.webp", half}, DamagedCase{"most.webp", mostOf},
        DamagedCase{"half.gif", half}, DamagedCase{"most.gif", mostOf},
        // 22000² and 6000² pixels from data for 480 × 320.
        DamagedCase{"claims-more.jpg",
                    [](const auto& bytes) { return fixtures::withJpegSize(bytes, 22000, 22000); }},
        DamagedCase{"claims-more.png",
                    [](const auto& bytes) { return fixtures::withPngSize(bytes, 6000, 6000); }}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '.', '_');
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

}  // namespace
}  // namespace lumivert
