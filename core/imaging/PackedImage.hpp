#pragma once

// Immutable packed rasters that leave the core for display and encoding. Row-major, rows top to
// bottom, Channels interleaved samples per pixel, no row padding: sample c of pixel (x, y) is
// samples()[(y × width + x) × Channels + c]. The samples never change after creation, so copies
// share one block and a viewer can wrap data() without copying for as long as it holds a copy.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace lumivert {

template <typename Sample, int Channels> class PackedImage {
public:
    using SampleType = Sample;
    static constexpr int channels = Channels;

    // Width and height positive and samples.size() = width × height × Channels (else stops).
    PackedImage(std::int64_t width, std::int64_t height, std::vector<Sample> samples);
    // Takes width × height × Channels samples that the caller has filled; no copy, no zeroing.
    PackedImage(std::int64_t width, std::int64_t height, std::unique_ptr<Sample[]> samples);

    std::int64_t width() const { return width_; }
    std::int64_t height() const { return height_; }
    std::int64_t bytesPerRow() const
    {
        return width_ * Channels * static_cast<std::int64_t>(sizeof(Sample));
    }
    std::span<const Sample> samples() const { return {storage_.get(), count()}; }
    const Sample* data() const { return storage_.get(); }

    // Sample `channel` of pixel (x, y); indices outside the raster stop the program.
    Sample sample(std::int64_t x, std::int64_t y, int channel) const;

    bool sharesStorageWith(const PackedImage& other) const { return storage_ == other.storage_; }

    friend bool operator==(const PackedImage& a, const PackedImage& b)
    {
        if (a.width_ != b.width_ || a.height_ != b.height_)
            return false;
        const auto x = a.samples(), y = b.samples();
        return x.data() == y.data() || std::equal(x.begin(), x.end(), y.begin());
    }

private:
    std::size_t count() const { return static_cast<std::size_t>(width_ * height_ * Channels); }

    std::int64_t width_;
    std::int64_t height_;
    std::shared_ptr<const Sample[]> storage_;
};

// The 8-bit sRGB display image: R, G, B and a fourth byte that is not alpha and is 255 in every
// image the core makes (Qt's RGBX8888 layout).
using Image8 = PackedImage<std::uint8_t, 4>;
// The 16-bit sRGB image for encoding: R, G, B, no alpha; samples little-endian in memory.
using Image16 = PackedImage<std::uint16_t, 3>;

extern template class PackedImage<std::uint8_t, 4>;
extern template class PackedImage<std::uint16_t, 3>;

}  // namespace lumivert
