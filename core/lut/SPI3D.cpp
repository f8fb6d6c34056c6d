#include "lut/SPI3D.hpp"

#include <charconv>

namespace lumivert::SPI3D {

namespace {

// Three indices of up to 3 digits and three floats of up to 15 characters, with separators.
constexpr std::size_t longestLine = 3 * 4 + 3 * 16 + 1;

char* writeNumber(char* out, float value) { return std::to_chars(out, out + 16, value).ptr; }

char* writeIndex(char* out, std::int64_t index) { return std::to_chars(out, out + 4, index).ptr; }

}  // namespace

std::string text(const LUT3D& lut)
{
    const LUT3D table = lut.domain().isUnit() ? lut : lut.onUnitDomain(lut.size());
    const std::int64_t n = table.size();
    const std::string size = std::to_string(n);
    std::string result = "SPILUT 1.0\n3 3\n" + size + " " + size + " " + size + "\n";
    const std::size_t header = result.size();
    result.resize(header + table.values().size() * longestLine);
    char* out = result.data() + header;
    for (std::int64_t r = 0; r < n; ++r)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t b = 0; b < n; ++b) {
                for (const std::int64_t index : {r, g, b}) {
                    out = writeIndex(out, index);
                    *out++ = ' ';
                }
                const RGB& entry = table(r, g, b);
                out = writeNumber(out, entry.r);
                *out++ = ' ';
                out = writeNumber(out, entry.g);
                *out++ = ' ';
                out = writeNumber(out, entry.b);
                *out++ = '\n';
            }
    result.resize(static_cast<std::size_t>(out - result.data()));
    return result;
}

}  // namespace lumivert::SPI3D
