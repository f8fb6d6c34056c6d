#include "imaging/vips/VipsMetadata.hpp"

#include "imaging/IptcRecords.hpp"
#include "imaging/TiffExif.hpp"
#include "io/FileDescriptor.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>

namespace lumivert::VipsMetadata {

namespace {

using vips::VImage;

constexpr const char* photoshopField = "photoshop-data";
constexpr std::string_view pngCommentPrefix = "png-comment-";
// An IEND chunk: no data, so its length, type and CRC.
constexpr std::array<unsigned char, 12> pngEnd = {0,   0,   0,    0,    'I',  'E',
                                                  'N', 'D', 0xAE, 0x42, 0x60, 0x82};

std::optional<std::string> blobOf(const VImage& image, const char* field)
{
    if (image.get_typeof(field) == 0)
        return std::nullopt;
    std::size_t length = 0;
    const void* data = image.get_blob(field, &length);
    return std::string(static_cast<const char*>(data), length);
}

void setBlob(VImage& image, const char* field, const std::string& bytes)
{
    vips_image_set_blob_copy(image.get_image(), field, bytes.data(), bytes.size());
}

TiffExif::Reader descriptorReader(int fd)
{
    return [fd](std::uint64_t offset, std::size_t size, void* into) {
        return ::pread(fd, into, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
    };
}

bool writeAll(int fd, const void* data, std::size_t size, off_t at)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, bytes, size, at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
        at += written;
    }
    return true;
}

// A PNG input's IPTC text chunks, which libvips reads as comments and would write back under a
// keyword cut at its first space: their records, and the comments taken off the image.
std::optional<std::string> takePngRecords(VImage& image)
{
    std::optional<std::string> records;
    char** fields = vips_image_get_fields(image.get_image());
    for (char** field = fields; *field != nullptr; ++field) {
        const std::string_view name = *field;
        if (!name.starts_with(pngCommentPrefix) || !name.ends_with(IptcRecords::pngKeyword))
            continue;
        const char* text = nullptr;
        if (!records && vips_image_get_string(image.get_image(), *field, &text) == 0)
            records = IptcRecords::recordsOfPngText(text);
        vips_image_remove(image.get_image(), *field);
    }
    g_strfreev(fields);
    return records;
}

}  // namespace

std::string placeIptc(VImage& image, ImageFileType type)
{
    std::optional<std::string> records = takePngRecords(image);
    for (const char* field : {VIPS_META_IPTC_NAME, photoshopField}) {
        if (const std::optional<std::string> block = blobOf(image, field); block && !records)
            records = IptcRecords::recordsOf(*block);
    }
    if (!records)
        return {};
    vips_image_remove(image.get_image(), VIPS_META_IPTC_NAME);
    vips_image_remove(image.get_image(), photoshopField);
    switch (type) {
    case ImageFileType::jpeg:
        setBlob(image, VIPS_META_IPTC_NAME, IptcRecords::app13Payload(*records));
        return {};
    case ImageFileType::tiff:
        setBlob(image, photoshopField, IptcRecords::photoshopResources(*records));
        return {};
    case ImageFileType::png: return IptcRecords::pngChunk(*records);
    case ImageFileType::webp: return {};
    }
    return {};
}

bool appendToPng(int fd, std::string_view chunk)
{
    const off_t end = ::lseek(fd, 0, SEEK_END);
    std::array<unsigned char, pngEnd.size()> last{};
    if (end < static_cast<off_t>(last.size())) {
        errno = EIO;
        return false;
    }
    const off_t at = end - static_cast<off_t>(last.size());
    if (::pread(fd, last.data(), last.size(), at) != static_cast<ssize_t>(last.size()) ||
        last != pngEnd) {
        errno = EIO;
        return false;
    }
    return writeAll(fd, chunk.data(), chunk.size(), at) &&
           writeAll(fd, pngEnd.data(), pngEnd.size(), at + static_cast<off_t>(chunk.size()));
}

void readTiffExif(VImage& image, const std::filesystem::path& input)
{
    if (image.get_typeof(VIPS_META_EXIF_NAME) != 0)
        return;
    const FileDescriptor descriptor(::open(input.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!descriptor.valid())
        return;
    if (const std::optional<std::string> block =
            TiffExif::exifBlockOf(descriptorReader(descriptor.get())))
        setBlob(image, VIPS_META_EXIF_NAME, *block);
}

bool writeTiffExif(const VImage& image, int fd)
{
    const std::optional<std::string> block = blobOf(image, VIPS_META_EXIF_NAME);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (!block || size < 0)
        return true;
    const std::optional<TiffExif::Patch> patch =
        TiffExif::patchFor(descriptorReader(fd), static_cast<std::uint64_t>(size), *block);
    if (!patch)
        return true;
    std::array<unsigned char, 4> first{};
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<unsigned char>((patch->firstDirectory >> (8 * i)) & 0xFF);
    constexpr off_t firstDirectoryAt = 4;
    return writeAll(fd, patch->appended.data(), patch->appended.size(),
                    static_cast<off_t>(patch->at)) &&
           writeAll(fd, first.data(), first.size(), firstDirectoryAt);
}

}  // namespace lumivert::VipsMetadata
