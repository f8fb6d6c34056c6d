// The .3dl reader on arbitrary text. A table that parses, written by our writer, reads back as
// 12-bit output (declared, not guessed) holding the same table clamped into [0, 1], within half a
// 12-bit step.

#include "FuzzSupport.hpp"

#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include <optional>

namespace {

constexpr int writtenBits = 12;
constexpr float threeDLTolerance = 0.5f / 4095.0f + 1e-6f;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lumivert;
    std::optional<LUTReader::ThreeDLContents> contents;
    try {
        contents = LUTReader::threeDL(FuzzSupport::text(data, size));
    } catch (const LUTFormatError&) {
        return 0;
    }
    FuzzSupport::check(contents->outputBits >= 8 && contents->outputBits <= 16,
                       "output depths are 8 to 16 bits");
    FuzzSupport::check(!contents->guessedTenBit || contents->outputBits == 10,
                       "a table guessed to be 10-bit is read as 10-bit");
    if (!FuzzSupport::allFinite(contents->lut))
        return 0;

    const LUTReader::ThreeDLContents back = LUTReader::threeDL(LUTWriter::threeDL(contents->lut));
    FuzzSupport::check(back.outputBits == writtenBits && !back.guessedTenBit,
                       "a written .3dl reads as 12-bit output");
    FuzzSupport::check(FuzzSupport::sameClampedTable(contents->lut, back.lut, threeDLTolerance),
                       "a written .3dl reads back as the same table");
    return 0;
}
