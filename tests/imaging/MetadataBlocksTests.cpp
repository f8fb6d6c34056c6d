// IPTC records and TIFF EXIF directories moved between the wrappers of each file type: every
// wrapper gives the records back, a damaged one gives nothing, and EXIF read from a big-endian
// TIFF comes back from the little-endian block and from a TIFF patched with it.

#include "imaging/IptcRecords.hpp"
#include "imaging/TiffExif.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace lumivert {
namespace {

// Keywords "boats" and a copyright notice, as IIM datasets (marker, record, dataset, length).
const std::string iptcRecords = std::string("\x1c\x02\x19\x00\x05"
                                            "boats"
                                            "\x1c\x02\x74\x00\x07"
                                            "(c) Ann",
                                            22);

TEST(IptcRecords, EveryWrapperGivesTheRecordsBack)
{
    for (const std::string& records : {iptcRecords, iptcRecords.substr(0, 10)}) {
        SCOPED_TRACE(records.size());
        EXPECT_EQ(IptcRecords::recordsOf(records), records);
        EXPECT_EQ(IptcRecords::recordsOf(IptcRecords::photoshopResources(records)), records);
        EXPECT_EQ(IptcRecords::recordsOf(IptcRecords::app13Payload(records)), records);
        EXPECT_EQ(IptcRecords::photoshopResources(records).size() % 2, 0u);
        // The chunk: length, type, keyword, NUL, text, CRC.
        const std::string chunk = IptcRecords::pngChunk(records);
        const std::string text = chunk.substr(8 + IptcRecords::pngKeyword.size() + 1);
        EXPECT_EQ(chunk.substr(4, 4), "tEXt");
        EXPECT_EQ(IptcRecords::recordsOfPngText(text.substr(0, text.size() - 4)), records);
    }
}

TEST(IptcRecords, DamagedWrappersGiveNothing)
{
    const std::string resources = IptcRecords::photoshopResources(iptcRecords);
    for (const std::string& wrapper : {resources.substr(0, resources.size() - 6),
                                       std::string("8BIM"), std::string("plain text")})
        EXPECT_EQ(IptcRecords::recordsOf(wrapper), std::nullopt) << wrapper.size() << " bytes";
    EXPECT_EQ(IptcRecords::recordsOfPngText("\niptc\n 4\n1c0z\n"), std::nullopt);
    EXPECT_EQ(IptcRecords::recordsOfPngText("\niptc\n"), std::nullopt);
}

// ---- TIFF EXIF ----------------------------------------------------------------------------------

void bigEndian(std::string& out, std::uint32_t value, int size)
{
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void entry(std::string& out, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
           std::uint32_t value)
{
    bigEndian(out, tag, 2);
    bigEndian(out, type, 2);
    bigEndian(out, count, 4);
    bigEndian(out, value, 4);
}

// A big-endian TIFF as a camera writes it: first directory (width, make, model, EXIF and GPS
// pointers, a pixel tag), EXIF directory (lens model, ISO as a short), GPS directory (latitude
// as three rationals).
std::string cameraTiff()
{
    std::string t = "MM";
    bigEndian(t, 42, 2);
    bigEndian(t, 8, 4);
    // First directory at 8: 5 entries → 2 + 60 + 4 = 66 bytes, values from 74.
    bigEndian(t, 5, 2);
    entry(t, 256, 3, 1, 640u << 16);      // ImageWidth, a pixel tag: not carried
    entry(t, 271, 2, 6, 74);              // Make "Lumix\0"
    entry(t, 272, 2, 4, 0x44433500);      // Model "DC5\0", inline
    entry(t, 34665, 4, 1, 80);            // EXIF directory
    entry(t, 34853, 4, 1, 80 + 30 + 14);  // GPS directory
    bigEndian(t, 0, 4);
    t += std::string("Lumix\0", 6);  // at 74
    // EXIF directory at 80: 2 entries → 2 + 24 + 4 = 30 bytes, then its value.
    bigEndian(t, 2, 2);
    entry(t, 34855, 3, 1, 400u << 16);  // ISO 400
    entry(t, 42036, 2, 14, 80 + 30);    // LensModel
    bigEndian(t, 0, 4);
    t += std::string("LUMIX S 50/1.8", 14);  // at 110
    // GPS directory at 124: 1 entry, then three rationals.
    bigEndian(t, 1, 2);
    entry(t, 2, 5, 3, 124 + 18);
    bigEndian(t, 0, 4);
    for (const std::uint32_t part : {48u, 1u, 51u, 1u, 0u, 1u})
        bigEndian(t, part, 4);
    return t;
}

// A little-endian TIFF as libvips writes one, reduced to its first directory: width and
// orientation, no EXIF.
std::string writtenTiff()
{
    std::string t("II*\0\x08\0\0\0", 8);
    const auto little = [&t](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            t += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    little(2, 2);
    for (const auto& [tag, value] : {std::pair{256u, 64u}, std::pair{274u, 1u}}) {
        little(tag, 2);
        little(3, 2);
        little(1, 4);
        little(value, 4);
    }
    little(0, 4);
    return t + "pixels";
}

TEST(TiffExif, TheCamerasTagsSurviveTheBlockAndAPatchedFile)
{
    const std::string camera = cameraTiff();
    const std::optional<std::string> block = TiffExif::exifBlockOf(TiffExif::readerOf(camera));
    ASSERT_TRUE(block);
    EXPECT_EQ(block->substr(0, 8), std::string("Exif\0\0II", 8));
    for (const std::string_view value : {"Lumix", "DC5", "LUMIX S 50/1.8"})
        EXPECT_NE(block->find(value), std::string::npos) << value;
    EXPECT_EQ(block->find(std::string("\x00\x01\x03\x00", 4)), std::string::npos)
        << "the width is a tag of the camera's pixels, not of the photo";
    // Read again from its own TIFF, the block is the same: nothing lost, nothing reordered.
    const std::string_view tiffPart = std::string_view(*block).substr(6);
    EXPECT_EQ(TiffExif::exifBlockOf(TiffExif::readerOf(tiffPart)), block);

    std::string written = writtenTiff();
    const std::optional<TiffExif::Patch> patch =
        TiffExif::patchFor(TiffExif::readerOf(written), written.size(), *block);
    ASSERT_TRUE(patch);
    EXPECT_EQ(patch->firstDirectory % 2, 0u);
    written.resize(patch->at);
    written += patch->appended;
    for (int i = 0; i < 4; ++i)
        written[4 + i] = static_cast<char>((patch->firstDirectory >> (8 * i)) & 0xFF);
    EXPECT_EQ(TiffExif::exifBlockOf(TiffExif::readerOf(written)), block);
    EXPECT_NE(written.find("pixels"), std::string::npos);
    // Patched once, the file has nothing left to take.
    EXPECT_FALSE(TiffExif::patchFor(TiffExif::readerOf(written), written.size(), *block));
}

TEST(TiffExif, FilesWithoutATiffOrItsTagsGiveNothing)
{
    for (const std::string& file :
         {writtenTiff(), std::string("GIF89a"), cameraTiff().substr(0, 20)})
        EXPECT_FALSE(TiffExif::exifBlockOf(TiffExif::readerOf(file))) << file.size() << " bytes";
    // A big-endian output is left as it is; a block without the EXIF header, as PNG holds it,
    // is taken.
    const std::string block = *TiffExif::exifBlockOf(TiffExif::readerOf(cameraTiff()));
    EXPECT_FALSE(TiffExif::patchFor(TiffExif::readerOf(cameraTiff()), 200, block));
    EXPECT_TRUE(TiffExif::patchFor(TiffExif::readerOf(writtenTiff()), 30, block.substr(6)));
}

}  // namespace
}  // namespace lumivert
