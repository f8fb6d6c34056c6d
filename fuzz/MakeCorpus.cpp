// Writes the seed corpus of every fuzz target: files from our own writers, and hand-made edge
// cases that the writers never produce (other line ends, byte-order marks, Mesh lines, huge
// sizes, NaN). Usage: lumivert-fuzz-corpus <corpus folder>; run through scripts/make-fuzz-corpus.

#include "color/LUT3D.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/Packing.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTWriter.hpp"
#include "support/DngWriter.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace lumivert;
namespace fs = std::filesystem;

// File name and contents.
using Files = std::vector<std::pair<std::string, std::string>>;

void writeFiles(const fs::path& folder, const Files& files)
{
    fs::create_directories(folder);
    for (const auto& [name, contents] : files)
        std::ofstream(folder / name, std::ios::binary | std::ios::trunc) << contents;
}

std::string readFile(const fs::path& file)
{
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), {}};
}

// A smooth grade that moves every channel, so that no entry equals its lattice input.
LUT3D graded(std::int64_t size)
{
    return LUT3D::build(size, [](const RGB& c) {
        return RGB{c.r * c.r, 0.9f * c.g + 0.05f, 1.0f - 0.5f * c.b};
    });
}

std::string withLineEnds(const std::string& text, const std::string& end)
{
    std::string result;
    for (const char c : text)
        result += c == '\n' ? end : std::string(1, c);
    return result;
}

const std::string bom = "\xEF\xBB\xBF";

Files cubeFiles()
{
    const std::string identity = LUTWriter::cube(LUT3D::identity(2), "Identity");
    const std::string small = LUTWriter::cube(graded(3), "Small");
    const std::string eightEntries = "0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
    return {
        {"identity-2.cube", identity},
        {"graded-5.cube", LUTWriter::cube(graded(5), "Warm évening")},
        {"graded-3-crlf.cube", withLineEnds(small, "\r\n")},
        {"graded-3-cr.cube", withLineEnds(small, "\r")},
        {"graded-3-nel-ls-ps.cube", withLineEnds(small, "\xC2\x85") + "\xE2\x80\xA8\xE2\x80\xA9"},
        {"bom.cube", bom + identity},
        {"hand-spacing.cube", "# comment\n\n  LUT_3D_SIZE\t2 \n\n0\t0 0\n1e0 0 0\n0 1.0 0\n"
                              "1 1 0\n# between\n0 0 1\n1 0 1\n-0.5 1 1\n1.5 1 1e-3\n"},
        {"hand-domain.cube", "TITLE \"Domain\"\nDOMAIN_MIN 0 0 0\nDOMAIN_MAX 1 1 1\n"
                             "LUT_3D_INPUT_RANGE 0 1\nLUT_3D_SIZE 2\n" +
                                 eightEntries},
        {"hand-nan.cube", "LUT_3D_SIZE 2\nnan 0 0\ninf 0 0\n-inf 1 0\n1 1 0\n0 0 1\n1 0 1\n"
                          "0 1 1\nNaN 1 1\n"},
        {"hand-size-256.cube", "LUT_3D_SIZE 256\n" + eightEntries},
        {"hand-size-huge.cube", "LUT_3D_SIZE 99999999999999999999\n" + eightEntries},
        {"hand-size-1.cube", "LUT_3D_SIZE 1\n0 0 0\n"},
        {"hand-size-negative.cube", "LUT_3D_SIZE -2\n" + eightEntries},
        {"hand-1d.cube", "LUT_1D_SIZE 2\n0 0 0\n1 1 1\nLUT_3D_SIZE 2\n" + eightEntries},
        {"hand-keyword-after-data.cube", "LUT_3D_SIZE 2\n0 0 0\nTITLE \"Late\"\n" + eightEntries},
        {"hand-titles.cube", "TITLE \"a \"quoted\" \xFF\xFE title\"\nTITLE unquoted\n"
                             "LUT_3D_SIZE 2\n" +
                                 eightEntries},
        {"hand-short-entries.cube", "LUT_3D_SIZE 2\n0 0\n1 0 0 0\n0x1 1 0\n"},
        {"hand-wide-domain.cube", "LUT_3D_SIZE 2\nDOMAIN_MIN -0.25 0 0.5\nDOMAIN_MAX 4 2 1.5\n"
                                  "-0.5 0 0\n4.25 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n"
                                  "1 1 1234.5\n"},
        {"hand-curves.cube", "LUT_1D_SIZE 3\nLUT_1D_INPUT_RANGE -1 3\n0 0 0\n0.25 0.5 0.75\n"
                             "1 1 2\n"},
        {"hand-shaper.cube", "LUT_1D_SIZE 2\nLUT_1D_INPUT_RANGE -0.5 2\nLUT_3D_SIZE 2\n"
                             "LUT_3D_INPUT_RANGE 0 1\n0 0 0\n1 1 1\n" +
                                 eightEntries},
        // Per-channel DOMAIN lines for the table, a range of its own for the curves.
        {"hand-shaper-mixed-domains.cube", "DOMAIN_MIN 0 0.5 0\nDOMAIN_MAX 1 2 1\nLUT_1D_SIZE 2\n"
                                           "LUT_1D_INPUT_RANGE 0 4\nLUT_3D_SIZE 2\n0 0 0\n1 1 1\n" +
                                               eightEntries},
    };
}

// The table's entries as integer triples scaled to `largest`, blue fastest.
std::string threeDLEntries(const LUT3D& lut, std::int64_t largest)
{
    const auto scaled = [largest](float value) {
        return std::to_string(
            static_cast<std::int64_t>(value * static_cast<float>(largest) + 0.5f));
    };
    std::string text;
    for (std::int64_t r = 0; r < lut.size(); ++r)
        for (std::int64_t g = 0; g < lut.size(); ++g)
            for (std::int64_t b = 0; b < lut.size(); ++b) {
                const RGB& entry = lut(r, g, b);
                text += scaled(entry.r) + " " + scaled(entry.g) + " " + scaled(entry.b) + "\n";
            }
    return text;
}

std::string threeDLIdentity(int size, std::int64_t largest)
{
    return threeDLEntries(LUT3D::identity(size), largest);
}

Files threeDLFiles()
{
    const std::string identity = LUTWriter::threeDL(LUT3D::identity(2));
    const std::string small = LUTWriter::threeDL(graded(3));
    return {
        {"identity-2.3dl", identity},
        {"graded-5.3dl", LUTWriter::threeDL(graded(5))},
        {"graded-3-crlf.3dl", withLineEnds(small, "\r\n")},
        {"graded-3-cr.3dl", withLineEnds(small, "\r")},
        {"bom.3dl", bom + identity},
        {"mesh-1-12.3dl", "3DMESH\nMesh 1 12\n0 512 1023\n" + threeDLIdentity(3, 4095)},
        {"mesh-without-shaper.3dl", "Mesh 1 10\n" + threeDLIdentity(3, 1023)},
        {"mesh-huge.3dl", "3DMESH\nMesh 30 12\n0 1023\n" + threeDLIdentity(2, 4095)},
        {"mesh-bits-out-of-range.3dl", "Mesh 1 40\n0 512 1023\n" + threeDLIdentity(3, 4095)},
        {"guessed-10-bit.3dl", "0 1023\n" + threeDLIdentity(2, 1023)},
        {"guessed-16-bit.3dl", "0 1023\n" + threeDLIdentity(2, 65535)},
        {"graded-16-bit.3dl", "Mesh 2 16\n0 256 512 768 1023\n" + threeDLEntries(graded(5), 65535)},
        {"graded-10-bit.3dl", "0 512 1023\n" + threeDLEntries(graded(3), 1023)},
        {"shaper-mismatch.3dl", "0 512 1023\n" + threeDLIdentity(2, 4095)},
        {"hand-nan.3dl", "0 1023\nnan 0 0\n" + threeDLIdentity(2, 4095).substr(6)},
        {"hand-negative.3dl", "0 1023\n-1 0 0\n" + threeDLIdentity(2, 4095).substr(6)},
        {"hand-huge-values.3dl",
         "0 1023\n99999999999999999999 0 0\n" + threeDLIdentity(2, 4095).substr(6)},
    };
}

// The HALD target's input: two shape bytes, then 16-bit little-endian samples.
std::string haldInput(std::uint8_t widthByte, std::uint8_t heightByte, const PixelBuffer& image)
{
    std::string bytes{static_cast<char>(widthByte), static_cast<char>(heightByte)};
    for (const RGB& pixel : image.pixels())
        for (const float sample : {pixel.r, pixel.g, pixel.b}) {
            const auto value = static_cast<std::uint16_t>(sample * 65535.0f + 0.5f);
            bytes += static_cast<char>(value & 0xFF);
            bytes += static_cast<char>(value >> 8);
        }
    return bytes;
}

Files haldFiles()
{
    // Shape bytes below 128 choose the HALD sides 8, 27, 64, 125 in turn; 200 gives side 41.
    const PixelBuffer two = HaldCLUT::identity(2);
    return {
        {"identity-level-2", haldInput(0, 0, two)},
        {"identity-level-3", haldInput(1, 1, HaldCLUT::identity(3))},
        {"graded-level-2", haldInput(0, 0, HaldCLUT::image(graded(9), 2))},
        {"graded-level-4-short", haldInput(2, 2, HaldCLUT::image(graded(5), 2))},
        {"level-5-cycled", haldInput(3, 3, two)},
        {"not-square", haldInput(0, 1, two)},
        {"not-a-hald-side", haldInput(200, 200, two)},
        {"no-samples", std::string(2, '\0')},
    };
}

PixelBuffer gradient(std::int64_t width, std::int64_t height)
{
    std::vector<RGB> pixels;
    for (std::int64_t y = 0; y < height; ++y)
        for (std::int64_t x = 0; x < width; ++x)
            pixels.push_back({static_cast<float>(x) / static_cast<float>(width),
                              static_cast<float>(y) / static_cast<float>(height), 0.25f});
    return {width, height, std::move(pixels)};
}

std::uint32_t crc32(const std::string& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= static_cast<std::uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
}

// The PNG with the size in its header replaced (and the header's checksum made valid again).
std::string withPNGSize(std::string png, std::uint32_t width, std::uint32_t height)
{
    constexpr std::size_t ihdrType = 12;
    constexpr std::size_t ihdrData = 16;
    constexpr std::size_t ihdrLength = 13;
    putBigEndian(png, ihdrData, width);
    putBigEndian(png, ihdrData + 4, height);
    putBigEndian(png, ihdrData + ihdrLength, crc32(png.substr(ihdrType, 4 + ihdrLength)));
    return png;
}

std::string floatBytes(const std::vector<float>& values)
{
    return {reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float)};
}

Files imageFiles(const fs::path& scratch)
{
    const PixelBuffer pixels = gradient(5, 3);
    const auto written = [&scratch](const auto& image, ImageFileType type, ColourTag tag) {
        const fs::path file = scratch / "image";
        ImageLoader::writeImage(image, file, type, tag);
        return readFile(file);
    };
    const Image8 eight = Packing::makeImage8(pixels);
    const Image16 sixteen = Packing::makeImage16(pixels);
    const std::string png = written(eight, ImageFileType::png, ColourTag::none);
    const std::string jpeg = written(eight, ImageFileType::jpeg, ColourTag::sRGB);
    constexpr float naN = std::numeric_limits<float>::quiet_NaN();
    constexpr float infinity = std::numeric_limits<float>::infinity();
    const std::vector<float> special{0.5f, naN, infinity, -1.0f, 2.0f, 0.0f};
    return {
        {"gradient.png", png},
        {"gradient-16-bit-srgb.png", written(sixteen, ImageFileType::png, ColourTag::sRGB)},
        {"gradient.jpg", jpeg},
        {"gradient-40x23.jpg",
         written(Packing::makeImage8(gradient(40, 23)), ImageFileType::jpeg, ColourTag::none)},
        {"gradient-23x40.png",
         written(Packing::makeImage8(gradient(23, 40)), ImageFileType::png, ColourTag::none)},
        {"gradient-16-bit.tif", written(sixteen, ImageFileType::tiff, ColourTag::none)},
        {"gradient.webp", written(eight, ImageFileType::webp, ColourTag::none)},
        {"hald-level-2.png",
         written(Packing::makeImage16(HaldCLUT::identity(2)), ImageFileType::png, ColourTag::none)},
        {"huge-header.png", withPNGSize(png, 100000, 100000)},
        {"tall-header.png", withPNGSize(png, 1, 100000000)},
        {"zero-header.png", withPNGSize(png, 0, 3)},
        {"truncated.png", png.substr(0, png.size() / 2)},
        {"truncated.jpg", jpeg.substr(0, jpeg.size() / 2)},
        {"empty", ""},
        {"one-pixel.gif", std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\xFF\xFF\xFF\x00\x00\x00"
                                      "!\xF9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01"
                                      "\x00\x00\x02\x02"
                                      "D\x01\x00;",
                                      43)},
        {"grey.pgm", std::string("P5\n2 2\n255\n\x00\x40\x80\xFF", 15)},
        {"colour.ppm", "P3\n2 1\n255\n255 0 0  0 0 255\n"},
        {"nan-and-infinity.pfm", "PF\n2 1\n-1.0\n" + floatBytes(special)},
        {"tiny.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"3\">"
                     "<rect width=\"4\" height=\"3\" fill=\"#c84\"/></svg>"},
    };
}

// Small DNGs from the tests' writer: a Bayer mosaic, linear RGB, a turned one, and cuts.
Files rawFiles(const fs::path& scratch)
{
    const auto written = [&scratch](fixtures::DngScene::Layout layout, int orientation) {
        fixtures::DngScene scene;
        scene.width = 16;
        scene.height = 12;
        scene.layout = layout;
        scene.orientation = orientation;
        scene.neutral = {0.5, 1.0, 0.7};
        scene.colour = [](int x, int y) { return std::array<double, 3>{x / 16.0, y / 12.0, 0.3}; };
        const fs::path file = scratch / "raw.dng";
        fixtures::writeDng(file, scene);
        return readFile(file);
    };
    const std::string bayer = written(fixtures::DngScene::Layout::bayer, 1);
    return {
        {"bayer.dng", bayer},
        {"linear.dng", written(fixtures::DngScene::Layout::linear, 1)},
        {"bayer-turned.dng", written(fixtures::DngScene::Layout::bayer, 6)},
        {"bayer-header-cut.dng", bayer.substr(0, 200)},
        {"bayer-truncated.dng", bayer.substr(0, bayer.size() - 40)},
    };
}

Files automationFiles()
{
    return {
        {"list", "0.1, 0.2,0.3"},
        {"list-with-junk", "0.1,x, 0.2,,0.3,\t0.4 "},
        {"exponent", "1.5e0"},
        {"leading-space", " 0.3"},
        {"plus-sign", "+65"},
        {"negative-zero", "-0,\n-0"},
        {"non-finite", "nan,inf,-inf"},
        {"float-overflow", "1e39,3.4028235e38"},
        {"subnormal", "1e-45,1e-310"},
        {"hexadecimal", "0x10"},
        {"full-width-digits", "１２,٣"},
        {"invalid-utf8", "\xFF\xFE"
                         "1,2"},
        {"integer-limits", "9223372036854775807"},
        {"integer-overflow", "9223372036854775808"},
        {"line-feed", "1\n"},
    };
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: lumivert-fuzz-corpus <corpus folder>\n");
        return 2;
    }
    const fs::path corpus = argv[1];
    const fs::path scratch = fs::temp_directory_path() / "lumivert-fuzz-corpus";
    fs::create_directories(scratch);
    writeFiles(corpus / "cube_reader", cubeFiles());
    writeFiles(corpus / "threedl_reader", threeDLFiles());
    writeFiles(corpus / "hald_reader", haldFiles());
    writeFiles(corpus / "image_loader", imageFiles(scratch));
    writeFiles(corpus / "raw_decoder", rawFiles(scratch));
    writeFiles(corpus / "automation_values", automationFiles());
    fs::remove_all(scratch);
    return 0;
}
