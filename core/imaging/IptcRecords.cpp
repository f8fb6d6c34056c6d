#include "imaging/IptcRecords.hpp"

#include <array>
#include <cstdint>

namespace lumivert::IptcRecords {

namespace {

constexpr std::string_view app13Signature{"Photoshop 3.0\0", 14};
constexpr std::string_view resourceSignature = "8BIM";
constexpr std::uint16_t iptcResource = 0x0404;
// Every IIM dataset starts with this tag marker.
constexpr char recordMarker = 0x1C;
// ImageMagick's layout: the profile name, its length in 8 columns, then 72 hex digits a line.
constexpr std::size_t hexPerLine = 72;
constexpr std::size_t lengthColumns = 8;

std::uint32_t bigEndian(std::string_view bytes, std::size_t at, std::size_t size)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void appendBigEndian(std::string& out, std::uint32_t value, int size)
{
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

// The 0x0404 resource among Photoshop's resources: "8BIM", id, padded Pascal name, size, data
// padded to an even length.
std::optional<std::string> recordsInResources(std::string_view resources)
{
    std::size_t at = 0;
    while (at + 8 <= resources.size() && resources.substr(at, 4) == resourceSignature) {
        const auto id = static_cast<std::uint16_t>(bigEndian(resources, at + 4, 2));
        const std::size_t nameLength = static_cast<unsigned char>(resources[at + 6]);
        const std::size_t sizeAt = at + 6 + ((nameLength + 2) & ~std::size_t{1});
        if (sizeAt + 4 > resources.size())
            return std::nullopt;
        const std::size_t length = bigEndian(resources, sizeAt, 4);
        const std::size_t data = sizeAt + 4;
        if (length > resources.size() - data)
            return std::nullopt;
        if (id == iptcResource)
            return std::string(resources.substr(data, length));
        at = data + length + (length & 1);
    }
    return std::nullopt;
}

// PNG's CRC-32 (ISO 3309), over the chunk's type and data.
std::uint32_t crc32(std::string_view bytes)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t n = 0; n < entries.size(); ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char byte : bytes)
        c = table[(c ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

}  // namespace

std::optional<std::string> recordsOf(std::string_view block)
{
    if (block.starts_with(app13Signature))
        block.remove_prefix(app13Signature.size());
    if (block.starts_with(resourceSignature))
        return recordsInResources(block);
    if (!block.empty() && block.front() == recordMarker)
        return std::string(block);
    return std::nullopt;
}

std::optional<std::string> recordsOfPngText(std::string_view text)
{
    // "\n<profile name>\n<length>\n", then the hex digits, broken into lines.
    std::size_t at = 0;
    for (int line = 0; line < 3; ++line) {
        at = text.find('\n', at);
        if (at == std::string_view::npos)
            return std::nullopt;
        ++at;
    }
    std::string records;
    int high = -1;
    for (const char c : text.substr(at)) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c == '\n' || c == ' ')
            continue;
        else
            return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            records += static_cast<char>(high * 16 + digit);
            high = -1;
        }
    }
    return recordsOf(records);
}

std::string photoshopResources(std::string_view records)
{
    std::string out(resourceSignature);
    appendBigEndian(out, iptcResource, 2);
    out.append(2, '\0');  // an empty name, padded to an even length
    appendBigEndian(out, static_cast<std::uint32_t>(records.size()), 4);
    out += records;
    if (records.size() % 2 != 0)
        out += '\0';
    return out;
}

std::string app13Payload(std::string_view records)
{
    return std::string(app13Signature) + photoshopResources(records);
}

std::string pngChunk(std::string_view records)
{
    constexpr std::string_view digits = "0123456789abcdef";
    std::string length = std::to_string(records.size());
    std::string text = std::string(pngKeyword) + '\0' + "\niptc\n" +
                       std::string(lengthColumns - std::min(lengthColumns, length.size()), ' ') +
                       length + "\n";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto byte = static_cast<unsigned char>(records[i]);
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
        if ((2 * (i + 1)) % hexPerLine == 0 || i + 1 == records.size())
            text += '\n';
    }
    const std::string typed = "tEXt" + text;
    std::string chunk;
    appendBigEndian(chunk, static_cast<std::uint32_t>(text.size()), 4);
    chunk += typed;
    appendBigEndian(chunk, crc32(typed), 4);
    return chunk;
}

}  // namespace lumivert::IptcRecords
