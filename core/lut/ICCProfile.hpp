#pragma once

// ICC device-link profiles (RGB to RGB) holding a table, for photo editors that take a grade as
// a profile (Photoshop's Color Lookup, Affinity Photo, Capture One, GIMP through LittleCMS).
// Written by LittleCMS 2 as a version 2.4 profile: one lut16 CLUT between identity curves.

#include "color/LUT3D.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumivert::ICCProfile {

// The CLUT of an ICC lut16 counts its points per axis in one byte.
inline constexpr std::int64_t maxSize = 255;

// Points per axis of the profile a table of this size gives: its own, or maxSize.
std::int64_t writtenSize(std::int64_t size);

// The profile's bytes: the table on inputs 0 … 1 (resampled to maxSize when larger), entries
// clamped into [0, 1] and stored with 16 bits, the description as the profile's name.
std::string deviceLink(const LUT3D& lut, std::string_view description);

// An RGB device link's transform (any profile's, not only ours) evaluated by LittleCMS on a
// lattice of `size` points over 0 … 1; nothing when the bytes are not an RGB-to-RGB device link.
std::optional<LUT3D> deviceLinkTable(std::string_view bytes, std::int64_t size);

}  // namespace lumivert::ICCProfile
