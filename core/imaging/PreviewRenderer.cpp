#include "imaging/PreviewRenderer.hpp"

#include "color/Precondition.hpp"

#include "imaging/Packing.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMIVERT_HAS_AVX2_KERNEL 1
#define LUMIVERT_AVX2 __attribute__((target("avx2")))
#endif

namespace lumivert {

namespace {

constexpr int kLevels = 256;
constexpr float kByteMax = 255.0f;
constexpr int kEntryFloats = 4;  // R, G, B, 1 per table entry
// Pixels per parallel work item: large enough to amortise scheduling, small enough to share the
// image evenly between cores.
constexpr std::int64_t kChunkPixels = 8192;

// Where each 8-bit level falls on one lattice axis, computed exactly as LUT3D::sample does for
// the float level / 255: the lower lattice index times the axis stride (in floats) and the
// fraction towards the next index.
struct Axis {
    std::array<std::ptrdiff_t, kLevels> offset;
    std::array<float, kLevels> fraction;
};

struct Lattice {
    std::vector<float> entries;  // R, G, B, 1 per entry in the table's storage order
    std::ptrdiff_t greenStride;  // floats from one green index to the next
    std::ptrdiff_t blueStride;
    Axis red;
    Axis green;
    Axis blue;
};

Axis axis(std::int64_t size, std::ptrdiff_t stride)
{
    const float scale = static_cast<float>(size - 1);
    // N − 2 keeps the cell inside the lattice: level 255 lands in the last cell with fraction 1.
    const int lastCell = static_cast<int>(size) - 2;
    Axis result{};
    for (int level = 0; level < kLevels; ++level) {
        const float position = (static_cast<float>(level) / kByteMax) * scale;
        const int cell = std::min(lastCell, static_cast<int>(position));
        result.offset[level] = cell * stride;
        result.fraction[level] = position - static_cast<float>(cell);
    }
    return result;
}

Lattice lattice(const LUT3D& lut)
{
    // The byte tables place each level on a 0 … 1 lattice; callers map other domains first.
    LUMIVERT_PRECONDITION(lut.domain().isUnit(), "the renderer's table spans inputs 0 to 1");
    const std::int64_t n = lut.size();
    const std::ptrdiff_t green = kEntryFloats * n;
    const std::ptrdiff_t blue = green * n;
    return {lut.rgbaFloatData(), green, blue, axis(n, kEntryFloats), axis(n, green), axis(n, blue)};
}

inline const float* cellOrigin(const Lattice& l, const std::uint8_t* pixel)
{
    return l.entries.data() + l.red.offset[pixel[0]] + l.green.offset[pixel[1]] +
           l.blue.offset[pixel[2]];
}

inline RGB entry(const float* e) { return {e[0], e[1], e[2]}; }

// The reference arithmetic, line for line that of LUT3D::sample.
void renderPortable(const Lattice& l, const std::uint8_t* in, std::uint8_t* out, std::int64_t count)
{
    const std::ptrdiff_t n = l.greenStride;
    const std::ptrdiff_t n2 = l.blueStride;
    const std::ptrdiff_t r = kEntryFloats;
    for (std::int64_t i = 0; i < count; ++i, in += 4, out += 4) {
        const float* c = cellOrigin(l, in);
        const float tr = l.red.fraction[in[0]];
        const float tg = l.green.fraction[in[1]];
        const float tb = l.blue.fraction[in[2]];
        const RGB e00 = lerp(entry(c), entry(c + r), tr);
        const RGB e10 = lerp(entry(c + n), entry(c + n + r), tr);
        const RGB e01 = lerp(entry(c + n2), entry(c + n2 + r), tr);
        const RGB e11 = lerp(entry(c + n + n2), entry(c + n + n2 + r), tr);
        const RGB f0 = lerp(e00, e10, tg);
        const RGB f1 = lerp(e01, e11, tg);
        const RGB v = lerp(f0, f1, tb);
        out[0] = static_cast<std::uint8_t>(Packing::quantized(v.r, kByteMax));
        out[1] = static_cast<std::uint8_t>(Packing::quantized(v.g, kByteMax));
        out[2] = static_cast<std::uint8_t>(Packing::quantized(v.b, kByteMax));
        out[3] = static_cast<std::uint8_t>(kByteMax);
    }
}

#ifdef LUMIVERT_HAS_AVX2_KERNEL

// No FMA: a fused multiply-add would round differently from LUT3D::sample.
LUMIVERT_AVX2 inline __m256 lerp8(__m256 a, __m256 b, __m256 t)
{
    return _mm256_add_ps(a, _mm256_mul_ps(t, _mm256_sub_ps(b, a)));
}

// One pixel as R, G, B, 1, interpolated like LUT3D::sample: along red, then green, then blue,
// two edges or faces per instruction.
LUMIVERT_AVX2 inline __m128 samplePixel(const Lattice& l, const std::uint8_t* pixel)
{
    const float* c = cellOrigin(l, pixel);
    const std::ptrdiff_t n = l.greenStride;
    const std::ptrdiff_t n2 = l.blueStride;
    // Entries along red are adjacent, so one load holds both red corners of an edge.
    const __m256 a = _mm256_loadu_ps(c);           // c000 | c100
    const __m256 b = _mm256_loadu_ps(c + n);       // c010 | c110
    const __m256 d = _mm256_loadu_ps(c + n2);      // c001 | c101
    const __m256 e = _mm256_loadu_ps(c + n + n2);  // c011 | c111
    const __m256 tr = _mm256_broadcast_ss(&l.red.fraction[pixel[0]]);
    const __m256 tg = _mm256_broadcast_ss(&l.green.fraction[pixel[1]]);
    const __m128 tb = _mm_broadcast_ss(&l.blue.fraction[pixel[2]]);
    const __m256 edges0 = lerp8(_mm256_permute2f128_ps(a, d, 0x20),  // e00 | e01
                                _mm256_permute2f128_ps(a, d, 0x31), tr);
    const __m256 edges1 = lerp8(_mm256_permute2f128_ps(b, e, 0x20),  // e10 | e11
                                _mm256_permute2f128_ps(b, e, 0x31), tr);
    const __m256 faces = lerp8(edges0, edges1, tg);  // f0 | f1
    const __m128 f0 = _mm256_castps256_ps128(faces);
    const __m128 f1 = _mm256_extractf128_ps(faces, 1);
    return _mm_add_ps(f0, _mm_mul_ps(tb, _mm_sub_ps(f1, f0)));
}

// Packing::quantized(·, 255) on eight lanes: NaN and values not above 0 give 0 (max returns
// its second operand for NaN), halves round up because the truncation remainder is exact.
LUMIVERT_AVX2 inline __m256i quantize8(__m256 v)
{
    const __m256 clamped =
        _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(1.0f));
    const __m256 scaled = _mm256_mul_ps(clamped, _mm256_set1_ps(kByteMax));
    const __m256i whole = _mm256_cvttps_epi32(scaled);
    const __m256 remainder = _mm256_sub_ps(scaled, _mm256_cvtepi32_ps(whole));
    const __m256 roundUp = _mm256_cmp_ps(remainder, _mm256_set1_ps(0.5f), _CMP_GE_OQ);
    return _mm256_sub_epi32(whole, _mm256_castps_si256(roundUp));  // true lanes are −1
}

LUMIVERT_AVX2 void renderVector(const Lattice& l, const std::uint8_t* in, std::uint8_t* out,
                                std::int64_t count)
{
    // After the two packs the dwords hold pixels 0, 2, 0, 2 | 1, 3, 1, 3.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 4, 1, 5);
    std::int64_t i = 0;
    for (; i + 4 <= count; i += 4, in += 16, out += 16) {
        const __m128 p0 = samplePixel(l, in);
        const __m128 p1 = samplePixel(l, in + 4);
        const __m128 p2 = samplePixel(l, in + 8);
        const __m128 p3 = samplePixel(l, in + 12);
        const __m256i q01 = quantize8(_mm256_set_m128(p1, p0));
        const __m256i q23 = quantize8(_mm256_set_m128(p3, p2));
        const __m256i words = _mm256_packus_epi32(q01, q23);
        const __m256i bytes = _mm256_packus_epi16(words, words);
        const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, order);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(ordered));
    }
    renderPortable(l, in, out, count - i);
}

bool vectorKernelAvailable() { return __builtin_cpu_supports("avx2"); }

#else

void renderVector(const Lattice& l, const std::uint8_t* in, std::uint8_t* out, std::int64_t count)
{
    renderPortable(l, in, out, count);
}

bool vectorKernelAvailable() { return false; }

#endif

}  // namespace

PreviewRenderer::PreviewRenderer(Kernel kernel)
    : vector_(kernel == Kernel::automatic && vectorKernelAvailable())
{
}

Image8 PreviewRenderer::render(const Image8& image, const LUT3D& lut,
                               Interpolation interpolation) const
{
    LUMIVERT_PRECONDITION(interpolation == Interpolation::trilinear,
                          "the renderer has trilinear kernels only");
    const Lattice table = lattice(lut);
    const std::int64_t count = image.width() * image.height();
    const std::uint8_t* in = image.data();
    // Every sample is written below, so the buffer is not zeroed first.
    auto out = std::make_unique_for_overwrite<std::uint8_t[]>(image.samples().size());
    const std::int64_t chunks = (count + kChunkPixels - 1) / kChunkPixels;
    // Every pixel is computed on its own, so the result does not depend on the thread count.
    // Chunks are handed out as threads become free: on a busy machine one core may be slower.
#pragma omp parallel for schedule(dynamic)
    for (std::int64_t k = 0; k < chunks; ++k) {
        const std::int64_t first = k * kChunkPixels;
        const std::int64_t length = std::min(kChunkPixels, count - first);
        if (vector_)
            renderVector(table, in + 4 * first, out.get() + 4 * first, length);
        else
            renderPortable(table, in + 4 * first, out.get() + 4 * first, length);
    }
    return Image8(image.width(), image.height(), std::move(out));
}

}  // namespace lumivert
