#include "imaging/TiffExif.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace lumivert::TiffExif {

namespace {

// TIFF 6.0 and EXIF 2.3: the header, the tags that point to directories, and the descriptive
// tags of the first directory that belong to the photo rather than to its pixels.
constexpr std::string_view exifHeader{"Exif\0\0", 6};
constexpr std::uint16_t classicTiff = 42;
constexpr std::uint16_t exifDirectory = 34665;
constexpr std::uint16_t gpsDirectory = 34853;
constexpr std::uint16_t interopDirectory = 40965;
constexpr std::array<std::uint16_t, 10> carriedTags = {
    270,    // ImageDescription
    271,    // Make
    272,    // Model
    305,    // Software
    306,    // DateTime
    315,    // Artist
    316,    // HostComputer
    33432,  // Copyright
    exifDirectory, gpsDirectory,
};
constexpr std::size_t entryBytes = 12;
constexpr std::size_t inlineBytes = 4;
// Directories nest at most this deep (first, EXIF, interoperability); more is a loop.
constexpr int maxDepth = 3;
constexpr std::uint16_t maxEntries = 1024;
constexpr std::uint32_t maxValueBytes = 1u << 24;

// Bytes per element of each TIFF field type (1 … 13); 0 for unknown types.
std::size_t elementSize(std::uint16_t type)
{
    static constexpr std::array<std::size_t, 14> sizes = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizes.size() ? sizes[type] : 0;
}

// How each element's bytes swap: rationals are two 4-byte halves.
std::size_t swapUnit(std::uint16_t type)
{
    return (type == 5 || type == 10) ? 4 : elementSize(type);
}

bool isPointer(std::uint16_t tag)
{
    return tag == exifDirectory || tag == gpsDirectory || tag == interopDirectory;
}

struct Directory;

// One entry, its value in little-endian order; a pointer entry holds its directory instead.
struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::string value;
    std::shared_ptr<const Directory> directory;
};

struct Directory {
    std::vector<Entry> entries;
    std::uint32_t next = 0;
};

class Source {
public:
    Source(const Reader& read, bool bigEndian) : read_(read), bigEndian_(bigEndian) {}

    std::optional<std::string> bytes(std::uint64_t at, std::size_t size) const
    {
        std::string out(size, '\0');
        if (!read_(at, size, out.data()))
            return std::nullopt;
        return out;
    }
    std::optional<std::uint32_t> number(std::uint64_t at, std::size_t size) const
    {
        const std::optional<std::string> raw = bytes(at, size);
        if (!raw)
            return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const auto byte = static_cast<unsigned char>((*raw)[bigEndian_ ? i : size - 1 - i]);
            value = (value << 8) | byte;
        }
        return value;
    }
    // Each element turned little-endian.
    std::string littleEndian(std::string value, std::uint16_t type) const
    {
        const std::size_t unit = swapUnit(type);
        if (bigEndian_ && unit > 1)
            for (std::size_t at = 0; at + unit <= value.size(); at += unit)
                std::reverse(value.begin() + static_cast<std::ptrdiff_t>(at),
                             value.begin() + static_cast<std::ptrdiff_t>(at + unit));
        return value;
    }

private:
    const Reader& read_;
    bool bigEndian_;
};

std::optional<Directory> readDirectory(const Source& source, std::uint64_t at, int depth)
{
    const std::optional<std::uint32_t> count = source.number(at, 2);
    if (!count || *count > maxEntries || depth > maxDepth)
        return std::nullopt;
    Directory directory;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t entryAt = at + 2 + i * entryBytes;
        const auto tag = source.number(entryAt, 2);
        const auto type = source.number(entryAt + 2, 2);
        const auto elements = source.number(entryAt + 4, 4);
        if (!tag || !type || !elements)
            return std::nullopt;
        const std::size_t unit = elementSize(static_cast<std::uint16_t>(*type));
        if (unit == 0 || *elements > maxValueBytes / unit)
            continue;  // a type this reader does not know cannot be copied faithfully
        Entry entry{static_cast<std::uint16_t>(*tag),
                    static_cast<std::uint16_t>(*type),
                    *elements,
                    {},
                    nullptr};
        const std::size_t size = unit * *elements;
        std::uint64_t valueAt = entryAt + 8;
        if (size > inlineBytes) {
            const auto offset = source.number(entryAt + 8, 4);
            if (!offset)
                return std::nullopt;
            valueAt = *offset;
        }
        if (isPointer(entry.tag)) {
            const auto offset = source.number(entryAt + 8, 4);
            std::optional<Directory> child;
            if (offset)
                child = readDirectory(source, *offset, depth + 1);
            if (!child)
                continue;
            entry.directory = std::make_shared<const Directory>(std::move(*child));
        } else {
            std::optional<std::string> raw = source.bytes(valueAt, size);
            if (!raw)
                continue;
            entry.value = source.littleEndian(std::move(*raw), entry.type);
        }
        directory.entries.push_back(std::move(entry));
    }
    // Only the first directory may lead to another image; nested ones end their chain.
    if (depth == 1)
        directory.next = source.number(at + 2 + *count * entryBytes, 4).value_or(0);
    return directory;
}

// The first directory of a TIFF stream, and whether it is little-endian.
std::optional<std::pair<Directory, bool>> firstDirectory(const Reader& read)
{
    std::array<char, 2> order{};
    if (!read(0, order.size(), order.data()))
        return std::nullopt;
    const bool big = order == std::array<char, 2>{'M', 'M'};
    if (!big && order != std::array<char, 2>{'I', 'I'})
        return std::nullopt;
    const Source source(read, big);
    const auto magic = source.number(2, 2);
    const auto first = source.number(4, 4);
    if (magic != classicTiff || !first)
        return std::nullopt;
    std::optional<Directory> directory = readDirectory(source, *first, 1);
    if (!directory)
        return std::nullopt;
    return std::pair{std::move(*directory), !big};
}

Directory carried(const Directory& directory)
{
    Directory kept;
    for (const Entry& entry : directory.entries)
        if (std::find(carriedTags.begin(), carriedTags.end(), entry.tag) != carriedTags.end())
            kept.entries.push_back(entry);
    return kept;
}

void put(std::string& out, std::size_t at, std::uint32_t value, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The directory little-endian as if written at file offset `base`: the entries, then the values
// that do not fit in an entry and the nested directories, each on a word boundary.
std::string serialised(const Directory& directory, std::uint32_t base)
{
    std::vector<const Entry*> entries;
    for (const Entry& entry : directory.entries)
        entries.push_back(&entry);
    std::sort(entries.begin(), entries.end(),
              [](const Entry* a, const Entry* b) { return a->tag < b->tag; });
    std::string out(2 + entries.size() * entryBytes + 4, '\0');
    put(out, 0, static_cast<std::uint32_t>(entries.size()), 2);
    put(out, out.size() - 4, directory.next, 4);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = *entries[i];
        const std::size_t at = 2 + i * entryBytes;
        put(out, at, entry.tag, 2);
        const std::string* value = &entry.value;
        std::string nested;
        if (entry.directory) {
            nested = serialised(*entry.directory, base + static_cast<std::uint32_t>(out.size()));
            put(out, at + 2, 4, 2);  // LONG
            put(out, at + 4, 1, 4);
            put(out, at + 8, base + static_cast<std::uint32_t>(out.size()), 4);
            out += nested;
        } else {
            put(out, at + 2, entry.type, 2);
            put(out, at + 4, entry.count, 4);
            if (value->size() <= inlineBytes) {
                std::memcpy(out.data() + at + 8, value->data(), value->size());
            } else {
                put(out, at + 8, base + static_cast<std::uint32_t>(out.size()), 4);
                out += *value;
            }
        }
        if (out.size() % 2 != 0)
            out += '\0';
    }
    return out;
}

}  // namespace

Reader readerOf(std::string_view bytes)
{
    return [bytes](std::uint64_t offset, std::size_t size, void* into) {
        if (offset > bytes.size() || size > bytes.size() - offset)
            return false;
        std::memcpy(into, bytes.data() + offset, size);
        return true;
    };
}

std::optional<std::string> exifBlockOf(const Reader& tiff)
{
    const auto first = firstDirectory(tiff);
    if (!first)
        return std::nullopt;
    const Directory kept = carried(first->first);
    if (kept.entries.empty())
        return std::nullopt;
    constexpr std::uint32_t headerBytes = 8;
    std::string block(exifHeader);
    block += "II";
    std::string header(6, '\0');
    put(header, 0, classicTiff, 2);
    put(header, 2, headerBytes, 4);
    return block + header + serialised(kept, headerBytes);
}

std::optional<Patch> patchFor(const Reader& tiff, std::uint64_t size, std::string_view exifBlock)
{
    if (size >= std::numeric_limits<std::uint32_t>::max() / 2)
        return std::nullopt;
    // A PNG's eXIf chunk holds the TIFF part alone.
    if (exifBlock.starts_with(exifHeader))
        exifBlock.remove_prefix(exifHeader.size());
    const auto own = firstDirectory(tiff);
    const auto camera = firstDirectory(readerOf(exifBlock));
    if (!own || !own->second || !camera)
        return std::nullopt;
    Directory merged = own->first;
    for (const Entry& entry : carried(camera->first).entries) {
        const bool present = std::any_of(merged.entries.begin(), merged.entries.end(),
                                         [&](const Entry& e) { return e.tag == entry.tag; });
        if (!present)
            merged.entries.push_back(entry);
    }
    if (merged.entries.size() == own->first.entries.size())
        return std::nullopt;
    Patch patch;
    patch.at = size;
    patch.firstDirectory = static_cast<std::uint32_t>(size + size % 2);
    patch.appended = std::string(size % 2, '\0') + serialised(merged, patch.firstDirectory);
    return patch;
}

}  // namespace lumivert::TiffExif
