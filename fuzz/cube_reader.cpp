// The .cube reader on arbitrary text. What parses (a table, curves or both, over any domain),
// written by our writer, reads back with the same layout and domains, the entries to the six
// decimals the writer keeps (values beyond 0 … 1 included), and the cleaned title.

#include "FuzzSupport.hpp"

#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lumivert;
    std::optional<LUTReader::CubeContents> contents;
    try {
        contents = LUTReader::cube(FuzzSupport::text(data, size));
    } catch (const LUTFormatError&) {
        return 0;
    }
    const std::string title = contents->title.value_or("");
    const LUTReader::CubeContents back = LUTReader::cube(LUTWriter::cube(contents->lut, title));
    FuzzSupport::check(FuzzSupport::sameStack(contents->lut, back.lut),
                       "a written .cube reads back as the same transform");
    // The shaper layout carries its title as the first comment: its readers refuse TITLE.
    const bool shaper = contents->lut.hasCurves() && contents->lut.hasTable();
    const std::optional<std::string> kept =
        shaper ? (back.comments.empty() ? std::nullopt : std::optional(back.comments.front()))
               : back.title;
    FuzzSupport::check(kept == LUTWriter::cleanedTitle(title),
                       "a written .cube keeps the cleaned title");
    return 0;
}
