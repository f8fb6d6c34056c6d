#pragma once

// Sony Pictures Imageworks' .spi3d text, which OpenColorIO, Nuke, Katana and Mari read:
// "SPILUT 1.0", "3 3", "N N N", then one line per entry, "r g b R G B": the lattice indices,
// then the output, blue fastest as OpenColorIO writes it. The format holds no domain.

#include "color/LUT3D.hpp"

#include <string>

namespace lumivert::SPI3D {

// The table on inputs 0 … 1 (resampled onto them when it spans another domain), each value the
// shortest decimal that reads back as the same float, beyond 0 … 1 kept.
std::string text(const LUT3D& lut);

}  // namespace lumivert::SPI3D
