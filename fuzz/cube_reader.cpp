// The .cube reader on arbitrary text. A table that parses, written by our writer, reads back as
// the same table clamped into [0, 1], to the six decimals the writer keeps, with the cleaned title.

#include "FuzzSupport.hpp"

#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include <optional>

namespace {

// Half a unit in the sixth decimal, plus the float spacing near 1 for the parse of that decimal.
constexpr float kCubeTolerance = 0.5e-6f + 1.2e-7f;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lumivert;
    std::optional<LUTReader::CubeContents> contents;
    try {
        contents = LUTReader::cube(FuzzSupport::text(data, size));
    } catch (const LUTFormatError&) {
        return 0;
    }
    if (!FuzzSupport::allFinite(contents->lut))
        return 0;

    const std::string title = contents->title.value_or("");
    const LUTReader::CubeContents back = LUTReader::cube(LUTWriter::cube(contents->lut, title));
    FuzzSupport::check(FuzzSupport::sameClampedTable(contents->lut, back.lut, kCubeTolerance),
                       "a written .cube reads back as the same table");
    FuzzSupport::check(back.title == LUTWriter::cleanedTitle(title),
                       "a written .cube keeps the cleaned title");
    return 0;
}
