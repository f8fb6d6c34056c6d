#include "imaging/RowGrader.hpp"

#include "color/Precondition.hpp"
#include "imaging/Packing.hpp"

#include <type_traits>
#include <utility>

namespace lumivert {

namespace {

constexpr float k8BitMax = 255.0f;
constexpr float k16BitMax = 65535.0f;

// One pixel at a time through the stack; `scale` maps stored values onto 0 … 1 and back
// (quantised), or is 0 for floats kept as they are.
template <typename T>
void gradeExactly(const LUTStack& lut, Interpolation interpolation, const T* in, T* out,
                  std::int64_t count, int bands, float scale)
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
        const RGB c =
            lut.apply({toValue(pixel[0]), toValue(pixel[1]), toValue(pixel[2])}, interpolation);
        // Alpha first: with `in` == `out` the colour writes must not reach it before it is read.
        if (bands == 4)
            result[3] = pixel[3];
        result[0] = toSample(c.r);
        result[1] = toSample(c.g);
        result[2] = toSample(c.b);
    }
}

}  // namespace

LUTStackGrader::LUTStackGrader(LUTStack lut, Interpolation interpolation)
    : lut_(std::move(lut)), interpolation_(interpolation)
{
    if (lut_.isPlainTable())
        prepared_ = renderer_.prepare(lut_.table(), interpolation);
}

void LUTStackGrader::grade(const std::uint8_t* in, std::uint8_t* out, std::int64_t count,
                           int bands) const
{
    if (prepared_)
        renderer_.renderPixels(*prepared_, in, out, count, bands);
    else
        gradeExactly(lut_, interpolation_, in, out, count, bands, k8BitMax);
}

void LUTStackGrader::grade(const std::uint16_t* in, std::uint16_t* out, std::int64_t count,
                           int bands) const
{
    if (prepared_)
        renderer_.renderPixels(*prepared_, in, out, count, bands);
    else
        gradeExactly(lut_, interpolation_, in, out, count, bands, k16BitMax);
}

void LUTStackGrader::grade(const float* in, float* out, std::int64_t count, int bands) const
{
    if (prepared_)
        renderer_.renderPixels(*prepared_, in, out, count, bands);
    else
        gradeExactly(lut_, interpolation_, in, out, count, bands, 0.0f);
}

}  // namespace lumivert
