#pragma once

// IPTC records (IIM) in the wrappers each file type keeps them in: JPEG's APP13 segment
// ("Photoshop 3.0", then Photoshop's 8BIM resources, the records in resource 0x0404), TIFF's
// Photoshop tag (the resources alone) or IPTC tag (the records alone), and PNG's
// "Raw profile type iptc" text chunk (the records in hexadecimal), which ExifTool and ImageMagick
// read. Pure functions on bytes.

#include <optional>
#include <string>
#include <string_view>

namespace lumivert::IptcRecords {

// The records inside any of the wrappers (an APP13 payload, 8BIM resources, or bare records);
// nullopt when there are none or the wrapper is damaged.
std::optional<std::string> recordsOf(std::string_view block);

// The records as Photoshop resources (TIFF's Photoshop tag), and as an APP13 payload (JPEG).
std::string photoshopResources(std::string_view records);
std::string app13Payload(std::string_view records);

// The records in the text of a PNG's "Raw profile type iptc" chunk; nullopt when damaged.
std::optional<std::string> recordsOfPngText(std::string_view text);
// The keyword of that chunk.
inline constexpr std::string_view pngKeyword = "Raw profile type iptc";

// A whole PNG tEXt chunk (length, type, data, CRC) holding the records.
std::string pngChunk(std::string_view records);

}  // namespace lumivert::IptcRecords
