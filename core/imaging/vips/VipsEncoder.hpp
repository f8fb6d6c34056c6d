#pragma once

// Encoding and saving: libvips' encoder for each file type, the metadata a written image
// carries, and writes that report the file system's reason when they fail.

#include "imaging/ImageLoader.hpp"

#include <vips/vips8>

#include <string>

namespace lumivert::VipsEncoder {

// libvips' encoder for each file type is chosen by a file suffix.
struct FileTypeEntry {
    ImageFileType type;
    const char* encoder;
    bool sixteenBit;
    bool lossy;
    bool alpha;
    bool floats;  // holds 32-bit float samples
};

// The row of a file type (any ImageFileType, else stops).
const FileTypeEntry& entryOf(ImageFileType type);

// The suffix that picks libvips' encoder, with the quality for lossy types.
std::string encoderSuffix(ImageFileType type, int quality);

// The output's metadata: the input's EXIF, XMP and IPTC, which came along through the pipeline,
// with the orientation upright and, for code values, sRGB's profile, since the pixels now are
// both. Scene-linear floats carry no profile: sRGB's curve would misread them.
void tagUpright(vips::VImage& image, bool srgbProfile);

// Encodes `image` with the suffix's encoder into the open file `fd`. On failure returns false
// with `writeError` set to the errno of the write that failed, or to 0 when the encoder gave up
// for a reason of its own (or its input failed).
bool saveToDescriptor(const vips::VImage& image, const std::string& suffix, int fd,
                      int& writeError);

}  // namespace lumivert::VipsEncoder
