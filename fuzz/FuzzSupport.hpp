#pragma once

// What every fuzz target shares: the input as text, and a check that stops the run loudly, so
// that libFuzzer (or the corpus replay) records a broken property as a crash.

#include "color/LUT3D.hpp"
#include "color/LUTStack.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace lumivert::FuzzSupport {

inline std::string_view text(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// A file of this process in the temporary folder, for targets whose code under test reads or
// writes files; removed when the process ends.
class ScratchFile {
public:
    // lumivert-fuzz-<stem>-<pid><extension>
    ScratchFile(std::string_view stem, std::string_view extension)
        : path_(std::filesystem::temp_directory_path() /
                ("lumivert-fuzz-" + std::string(stem) + "-" + std::to_string(::getpid()) +
                 std::string(extension)))
    {
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile()
    {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

    // Replaces the file's contents with the fuzzer's input.
    void write(const std::uint8_t* data, std::size_t size) const
    {
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

private:
    std::filesystem::path path_;
};

// Aborts with the property that failed; sanitizers and libFuzzer both report an abort.
inline void check(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "Property broken: %s\n", property);
        std::abort();
    }
}

// The writers refuse tables with NaN or infinite entries (a precondition), so the round trip
// only covers finite ones.
inline bool allFinite(const LUT3D& lut)
{
    return std::all_of(lut.values().begin(), lut.values().end(), [](const RGB& entry) {
        return std::isfinite(entry.r) && std::isfinite(entry.g) && std::isfinite(entry.b);
    });
}

// Whether `back` holds the entries of `lut` clamped into [0, 1], each within `tolerance`.
inline bool sameClampedTable(const LUT3D& lut, const LUT3D& back, float tolerance)
{
    if (lut.size() != back.size())
        return false;
    const auto close = [tolerance](float original, float read) {
        return std::fabs(std::clamp(original, 0.0f, 1.0f) - read) <= tolerance;
    };
    return std::equal(lut.values().begin(), lut.values().end(), back.values().begin(),
                      [&close](const RGB& original, const RGB& read) {
                          return close(original.r, read.r) && close(original.g, read.g) &&
                                 close(original.b, read.b);
                      });
}

// Whether `back` holds the entries of `original` to six decimals: half a unit of the sixth
// decimal, plus the float spacing at the entry's size, as values beyond 0 … 1 are kept.
inline bool sameEntries(const std::vector<RGB>& original, const std::vector<RGB>& back)
{
    const auto close = [](float a, float b) {
        return std::fabs(a - b) <= 0.5e-6f + 2.4e-7f * std::max(1.0f, std::fabs(a));
    };
    return original.size() == back.size() &&
           std::equal(original.begin(), original.end(), back.begin(),
                      [&close](const RGB& a, const RGB& b) {
                          return close(a.r, b.r) && close(a.g, b.g) && close(a.b, b.b);
                      });
}

// The same layout, exactly the same domains, and entries to six decimals.
inline bool sameStack(const LUTStack& original, const LUTStack& back)
{
    if (original.hasCurves() != back.hasCurves() || original.hasTable() != back.hasTable())
        return false;
    if (original.hasCurves() && (original.curves().domain() != back.curves().domain() ||
                                 !sameEntries(original.curves().values(), back.curves().values())))
        return false;
    return !original.hasTable() || (original.table().size() == back.table().size() &&
                                    original.table().domain() == back.table().domain() &&
                                    sameEntries(original.table().values(), back.table().values()));
}

}  // namespace lumivert::FuzzSupport
