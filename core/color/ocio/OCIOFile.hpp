#pragma once

// LUT files in the formats OpenColorIO knows (.clf, .csp, .spi1d, .spi3d, .spimtx, .cub, Houdini
// .lut, .itx, .look, .mga, .m3d …), read through its file transform and written through its CLF
// writer and its baker. A file whose transform is tables (a 1D shaper, a 3D table, with their
// domains) gives those tables exactly; any other transform is evaluated on a lattice.

#include "color/LUT3D.hpp"
#include "color/LUTStack.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lumivert {

// OpenColorIO could not read a file: its own reason, and the line when it names one.
class OCIOFileError : public std::runtime_error {
public:
    OCIOFileError(std::string reason, std::optional<std::int64_t> line);

    const std::string& reason() const { return reason_; }
    std::optional<std::int64_t> line() const { return line_; }

private:
    std::string reason_;
    std::optional<std::int64_t> line_;
};

namespace OCIOFile {

// Points per axis of the lattice a transform that is not a table is evaluated on.
inline constexpr std::int64_t latticeSize = 65;
// Larger tables than a LUT file of ours may hold are evaluated on the lattice instead.
inline constexpr std::int64_t maxTableSize = 256;

struct Contents {
    LUTStack lut;
    // True when the tables are the file's own; false when the transform was evaluated.
    bool exact = true;
    // What the file holds, such as "1D shaper then 3D table" or "matrix, evaluated on a
    // 65-point lattice".
    std::string layout;
};

// Throws OCIOFileError when OpenColorIO cannot read the file.
Contents read(const std::filesystem::path& file);

// The text of a Common LUT Format file holding the table (and its domain, as a scale in front).
std::string clf(const LUT3D& lut, std::string_view title);
// The table baked by OpenColorIO's baker in one of its formats (such as "cinespace"), at the
// table's own size, entries beyond 0 … 1 kept; a domain other than 0 … 1 is resampled onto it
// first. A format the baker lacks stops.
std::string baked(const LUT3D& lut, std::string_view format);

}  // namespace OCIOFile

}  // namespace lumivert
