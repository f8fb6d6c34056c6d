#include "imaging/RowGrader.hpp"

#include "color/Precondition.hpp"
#include "imaging/Packing.hpp"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <vector>

namespace lumivert {

namespace {

constexpr float k8BitMax = 255.0f;
constexpr float k16BitMax = 65535.0f;

// One pixel at a time through `pixel`; `scale` maps stored values onto 0 … 1 and back
// (quantised), or is 0 for floats kept as they are.
template <typename T, typename Pixel>
void gradeEach(const Pixel& pixelOf, const T* in, T* out, std::int64_t count, int bands,
               float scale)
{
    LUMIVERT_PRECONDITION(bands == 3 || bands == 4, "pixels have 3 or 4 bands");
    const auto toValue = [scale](T sample) {
        return scale > 0.0f ? static_cast<float>(sample) / scale : static_cast<float>(sample);
    };
    const auto toSample = [scale](float value) {
        if constexpr (std::is_floating_point_v<T>)
            return value;
        else
            return static_cast<T>(Packing::quantized(value, scale));
    };
    for (std::int64_t i = 0; i < count; ++i) {
        const T* pixel = in + i * bands;
        T* result = out + i * bands;
        const RGB c = pixelOf({toValue(pixel[0]), toValue(pixel[1]), toValue(pixel[2])});
        // Alpha first: with `in` == `out` the colour writes must not reach it before it is read.
        if (bands == 4)
            result[3] = pixel[3];
        result[0] = toSample(c.r);
        result[1] = toSample(c.g);
        result[2] = toSample(c.b);
    }
}

}  // namespace

LUTStackGrader::LUTStackGrader(LUTStack lut, Interpolation interpolation, float strength)
    : lut_(std::move(lut)), folded_(lut_.withStrength(strength)), interpolation_(interpolation),
      strength_(strength),
      // Curves blend on every lookup, with the pixel's own value.
      foldCoversLevels_(lut_.hasCurves() || lut_.table().domain().containsUnit())
{
    if (folded_.isPlainTable())
        prepared_ = renderer_.prepare(folded_.table(), interpolation);
    if (strength_ != 1.0f && lut_.isPlainTable())
        full_ = renderer_.prepare(lut_.table(), interpolation);
}

bool LUTStackGrader::takesSceneLinear() const
{
    const RGB& top = lut_.domain().max;
    return top.r > 1.0f || top.g > 1.0f || top.b > 1.0f;
}

void LUTStackGrader::grade(const std::uint8_t* in, std::uint8_t* out, std::int64_t count,
                           int bands) const
{
    const auto blended = [this](const RGB& c) {
        return c + (lut_.apply(c, interpolation_) - c) * strength_;
    };
    if (!foldCoversLevels_)
        gradeEach(blended, in, out, count, bands, k8BitMax);
    else if (prepared_)
        renderer_.renderPixels(*prepared_, in, out, count, bands);
    else
        gradeEach([this](const RGB& c) { return folded_.apply(c, interpolation_); }, in, out, count,
                  bands, k8BitMax);
}

void LUTStackGrader::grade(const std::uint16_t* in, std::uint16_t* out, std::int64_t count,
                           int bands) const
{
    const auto blended = [this](const RGB& c) {
        return c + (lut_.apply(c, interpolation_) - c) * strength_;
    };
    if (!foldCoversLevels_)
        gradeEach(blended, in, out, count, bands, k16BitMax);
    else if (prepared_)
        renderer_.renderPixels(*prepared_, in, out, count, bands);
    else
        gradeEach([this](const RGB& c) { return folded_.apply(c, interpolation_); }, in, out, count,
                  bands, k16BitMax);
}

void LUTStackGrader::grade(const float* in, float* out, std::int64_t count, int bands) const
{
    if (strength_ == 1.0f) {
        if (prepared_)
            renderer_.renderPixels(*prepared_, in, out, count, bands);
        else
            gradeEach([this](const RGB& c) { return lut_.apply(c, interpolation_); }, in, out,
                      count, bands, 0.0f);
        return;
    }
    // Values in 0 … 1 (every deep file's) take the folded table as levels do, except at
    // strength 0, which gives each value back bit for bit.
    const std::size_t samples = static_cast<std::size_t>(count) * static_cast<std::size_t>(bands);
    const bool inUnit =
        std::all_of(in, in + samples, [](float v) { return v >= 0.0f && v <= 1.0f; });
    if (foldCoversLevels_ && inUnit && strength_ != 0.0f) {
        if (prepared_)
            renderer_.renderPixels(*prepared_, in, out, count, bands);
        else
            gradeEach([this](const RGB& c) { return folded_.apply(c, interpolation_); }, in, out,
                      count, bands, 0.0f);
        return;
    }
    // Each value blended with itself.
    if (!full_) {
        gradeEach(
            [this](const RGB& c) { return c + (lut_.apply(c, interpolation_) - c) * strength_; },
            in, out, count, bands, 0.0f);
        return;
    }
    thread_local std::vector<float> looked;
    looked.resize(samples);
    renderer_.renderPixels(*full_, in, looked.data(), count, bands);
    for (std::size_t i = 0; i < samples; ++i) {
        if (bands == 4 && i % 4 == 3)
            out[i] = in[i];
        else
            out[i] = in[i] + (looked[i] - in[i]) * strength_;
    }
}

}  // namespace lumivert
