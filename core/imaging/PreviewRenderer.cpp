#include "imaging/PreviewRenderer.hpp"

#include "color/Precondition.hpp"
#include "color/Tetrahedron.hpp"

#include "imaging/Packing.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMIVERT_HAS_AVX2_KERNEL 1
#define LUMIVERT_AVX2 __attribute__((target("avx2")))
#endif

namespace lumivert {

namespace {

constexpr int levels = 256;
constexpr float byteMax = 255.0f;
constexpr int entryFloats = 4;  // R, G, B, 1 per table entry
// Pixels per parallel work item: large enough to amortise scheduling, small enough to share the
// image evenly between cores.
constexpr std::int64_t chunkPixels = 8192;

// Where each 8-bit level falls on one lattice axis, computed exactly as LUT3D::sample does for
// the float level / 255: the lower lattice index times the axis stride (in floats) and the
// fraction towards the next index.
struct Axis {
    std::array<std::ptrdiff_t, levels> offset;
    std::array<float, levels> fraction;
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
    for (int level = 0; level < levels; ++level) {
        const float position = (static_cast<float>(level) / byteMax) * scale;
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
    const std::ptrdiff_t green = entryFloats * n;
    const std::ptrdiff_t blue = green * n;
    return {lut.rgbaFloatData(), green, blue, axis(n, entryFloats), axis(n, green), axis(n, blue)};
}

inline const float* cellOrigin(const Lattice& l, const std::uint8_t* pixel)
{
    return l.entries.data() + l.red.offset[pixel[0]] + l.green.offset[pixel[1]] +
           l.blue.offset[pixel[2]];
}

inline RGB entry(const float* e) { return {e[0], e[1], e[2]}; }

// What a kernel writes into the fourth byte of 4-band pixels: the input's (alpha, for
// renderPixels) or 255 (render's display images, whose fourth byte is not alpha).
enum class Fourth { copied, opaque };

// The reference arithmetic, line for line that of LUT3D::sample.
inline RGB trilinear(const Lattice& l, const std::uint8_t* pixel)
{
    const std::ptrdiff_t n = l.greenStride;
    const std::ptrdiff_t n2 = l.blueStride;
    const std::ptrdiff_t r = entryFloats;
    const float* c = cellOrigin(l, pixel);
    const float tr = l.red.fraction[pixel[0]];
    const float tg = l.green.fraction[pixel[1]];
    const float tb = l.blue.fraction[pixel[2]];
    const RGB e00 = lerp(entry(c), entry(c + r), tr);
    const RGB e10 = lerp(entry(c + n), entry(c + n + r), tr);
    const RGB e01 = lerp(entry(c + n2), entry(c + n2 + r), tr);
    const RGB e11 = lerp(entry(c + n + n2), entry(c + n + n2 + r), tr);
    const RGB f0 = lerp(e00, e10, tg);
    const RGB f1 = lerp(e01, e11, tg);
    return lerp(f0, f1, tb);
}

inline Tetrahedron tetrahedronOf(const Lattice& l, const std::uint8_t* pixel)
{
    return tetrahedron(l.red.fraction[pixel[0]], l.green.fraction[pixel[1]],
                       l.blue.fraction[pixel[2]], entryFloats, l.greenStride, l.blueStride);
}

// Line for line LUT3D::sampleTetrahedral.
inline RGB tetrahedral(const Lattice& l, const std::uint8_t* pixel)
{
    const float* c = cellOrigin(l, pixel);
    const Tetrahedron t = tetrahedronOf(l, pixel);
    const RGB origin = entry(c);
    const RGB edge = entry(c + t.edge);
    const RGB face = entry(c + t.face);
    const RGB far = entry(c + entryFloats + l.greenStride + l.blueStride);
    RGB v = origin + (edge - origin) * t.first;
    v += (face - edge) * t.second;
    v += (far - face) * t.third;
    return v;
}

template <Interpolation I> inline RGB lookup(const Lattice& l, const std::uint8_t* pixel)
{
    return I == Interpolation::trilinear ? trilinear(l, pixel) : tetrahedral(l, pixel);
}

template <Interpolation I>
void renderPortable(const Lattice& l, const std::uint8_t* in, std::uint8_t* out, std::int64_t count,
                    int bands, Fourth fourth)
{
    for (std::int64_t i = 0; i < count; ++i, in += bands, out += bands) {
        const RGB v = lookup<I>(l, in);
        // Read before the colour is written: `in` and `out` may be the same pixel.
        const std::uint8_t alpha = fourth == Fourth::copied && bands == 4 ? in[3] : 255;
        out[0] = static_cast<std::uint8_t>(Packing::quantized(v.r, byteMax));
        out[1] = static_cast<std::uint8_t>(Packing::quantized(v.g, byteMax));
        out[2] = static_cast<std::uint8_t>(Packing::quantized(v.b, byteMax));
        if (bands == 4)
            out[3] = alpha;
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

// Two pixels as R, G, B, 1 | R, G, B, 1, each its tetrahedron's lookup as in
// LUT3D::sampleTetrahedral: the corners are chosen per pixel, the steps shared.
LUMIVERT_AVX2 inline __m256 sampleTetrahedralPair(const Lattice& l, const std::uint8_t* p,
                                                  const std::uint8_t* q)
{
    const std::ptrdiff_t far = entryFloats + l.greenStride + l.blueStride;
    const float* c = cellOrigin(l, p);
    const float* d = cellOrigin(l, q);
    const Tetrahedron s = tetrahedronOf(l, p);
    const Tetrahedron t = tetrahedronOf(l, q);
    const __m256 origin = _mm256_loadu2_m128(d, c);
    const __m256 edge = _mm256_loadu2_m128(d + t.edge, c + s.edge);
    const __m256 face = _mm256_loadu2_m128(d + t.face, c + s.face);
    const __m256 corner = _mm256_loadu2_m128(d + far, c + far);
    const __m256 first = _mm256_setr_m128(_mm_set1_ps(s.first), _mm_set1_ps(t.first));
    const __m256 second = _mm256_setr_m128(_mm_set1_ps(s.second), _mm_set1_ps(t.second));
    const __m256 third = _mm256_setr_m128(_mm_set1_ps(s.third), _mm_set1_ps(t.third));
    __m256 v = _mm256_add_ps(origin, _mm256_mul_ps(_mm256_sub_ps(edge, origin), first));
    v = _mm256_add_ps(v, _mm256_mul_ps(_mm256_sub_ps(face, edge), second));
    return _mm256_add_ps(v, _mm256_mul_ps(_mm256_sub_ps(corner, face), third));
}

// Four consecutive pixels, two per register.
struct Quad {
    __m256 p01;
    __m256 p23;
};

template <Interpolation I>
LUMIVERT_AVX2 inline Quad sampleQuad(const Lattice& l, const std::uint8_t* in, int bands)
{
    if constexpr (I == Interpolation::trilinear) {
        const __m128 p0 = samplePixel(l, in);
        const __m128 p1 = samplePixel(l, in + bands);
        const __m128 p2 = samplePixel(l, in + 2 * bands);
        const __m128 p3 = samplePixel(l, in + 3 * bands);
        return {_mm256_set_m128(p1, p0), _mm256_set_m128(p3, p2)};
    } else {
        return {sampleTetrahedralPair(l, in, in + bands),
                sampleTetrahedralPair(l, in + 2 * bands, in + 3 * bands)};
    }
}

// Packing::quantized(·, 255) on eight lanes: NaN and values not above 0 give 0 (max returns
// its second operand for NaN), halves round up because the truncation remainder is exact.
LUMIVERT_AVX2 inline __m256i quantize8(__m256 v)
{
    const __m256 clamped =
        _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(1.0f));
    const __m256 scaled = _mm256_mul_ps(clamped, _mm256_set1_ps(byteMax));
    const __m256i whole = _mm256_cvttps_epi32(scaled);
    const __m256 remainder = _mm256_sub_ps(scaled, _mm256_cvtepi32_ps(whole));
    const __m256 roundUp = _mm256_cmp_ps(remainder, _mm256_set1_ps(0.5f), _CMP_GE_OQ);
    return _mm256_sub_epi32(whole, _mm256_castps_si256(roundUp));  // true lanes are −1
}

template <Interpolation I>
LUMIVERT_AVX2 void renderVector(const Lattice& l, const std::uint8_t* in, std::uint8_t* out,
                                std::int64_t count, int bands, Fourth fourth)
{
    // After the two packs the dwords hold pixels 0, 2, 0, 2 | 1, 3, 1, 3.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 4, 1, 5);
    const __m128i alphaBytes = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    // R, G, B of four R, G, B, 1 pixels, packed into the first twelve bytes.
    const __m128i threeBands =
        _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const std::int64_t step = 4 * bands;
    std::int64_t i = 0;
    for (; i + 4 <= count; i += 4, in += step, out += step) {
        // Every input byte of the four pixels is read before any output byte is written.
        const Quad q = sampleQuad<I>(l, in, bands);
        const __m256i words = _mm256_packus_epi32(quantize8(q.p01), quantize8(q.p23));
        const __m256i bytes = _mm256_packus_epi16(words, words);
        __m128i pixels = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(bytes, order));
        if (bands == 4) {
            if (fourth == Fourth::copied)
                pixels = _mm_blendv_epi8(
                    pixels, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), alphaBytes);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), pixels);
        } else {
            const __m128i packed = _mm_shuffle_epi8(pixels, threeBands);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
            const int last = _mm_extract_epi32(packed, 2);
            std::memcpy(out + 8, &last, sizeof last);
        }
    }
    renderPortable<I>(l, in, out, count - i, bands, fourth);
}

bool vectorKernelAvailable() { return __builtin_cpu_supports("avx2"); }

#else

template <Interpolation I>
void renderVector(const Lattice& l, const std::uint8_t* in, std::uint8_t* out, std::int64_t count,
                  int bands, Fourth fourth)
{
    renderPortable<I>(l, in, out, count, bands, fourth);
}

bool vectorKernelAvailable() { return false; }

#endif

void checkBands(int bands, std::int64_t count)
{
    LUMIVERT_PRECONDITION(bands == 3 || bands == 4, "pixels have 3 or 4 bands");
    LUMIVERT_PRECONDITION(count >= 0, "a pixel count is not negative");
}

// The exact lookup of 16-bit and float pixels, one at a time through the table itself.
template <typename Sample, typename ToUnit, typename FromUnit>
void renderExact(const LUT3D& lut, Interpolation interpolation, const Sample* in, Sample* out,
                 std::int64_t count, int bands, ToUnit toUnit, FromUnit fromUnit)
{
    for (std::int64_t i = 0; i < count; ++i, in += bands, out += bands) {
        const RGB v = lut.sample({toUnit(in[0]), toUnit(in[1]), toUnit(in[2])}, interpolation);
        if (bands == 4)
            out[3] = in[3];
        out[0] = fromUnit(v.r);
        out[1] = fromUnit(v.g);
        out[2] = fromUnit(v.b);
    }
}

}  // namespace

class PreviewRenderer::Prepared {
public:
    Prepared(const LUT3D& table, Interpolation how)
        : lut(table), interpolation(how), bytes(lattice(table))
    {
    }

    const LUT3D lut;
    const Interpolation interpolation;
    const Lattice bytes;
};

namespace {

void renderBytes(const PreviewRenderer::Prepared& table, bool vector, const std::uint8_t* in,
                 std::uint8_t* out, std::int64_t count, int bands, Fourth fourth)
{
    const Lattice& l = table.bytes;
    if (table.interpolation == Interpolation::trilinear) {
        if (vector)
            renderVector<Interpolation::trilinear>(l, in, out, count, bands, fourth);
        else
            renderPortable<Interpolation::trilinear>(l, in, out, count, bands, fourth);
    } else {
        if (vector)
            renderVector<Interpolation::tetrahedral>(l, in, out, count, bands, fourth);
        else
            renderPortable<Interpolation::tetrahedral>(l, in, out, count, bands, fourth);
    }
}

}  // namespace

PreviewRenderer::PreviewRenderer(Kernel kernel)
    : vector_(kernel == Kernel::automatic && vectorKernelAvailable())
{
}

std::shared_ptr<const PreviewRenderer::Prepared>
PreviewRenderer::prepare(const LUT3D& lut, Interpolation interpolation) const
{
    return std::make_shared<const Prepared>(lut, interpolation);
}

void PreviewRenderer::renderPixels(const Prepared& table, const std::uint8_t* in, std::uint8_t* out,
                                   std::int64_t count, int bands) const
{
    checkBands(bands, count);
    renderBytes(table, vector_, in, out, count, bands, Fourth::copied);
}

void PreviewRenderer::renderPixels(const Prepared& table, const std::uint16_t* in,
                                   std::uint16_t* out, std::int64_t count, int bands) const
{
    checkBands(bands, count);
    constexpr float wordMax = 65535.0f;
    renderExact(
        table.lut, table.interpolation, in, out, count, bands,
        [](std::uint16_t s) { return static_cast<float>(s) / wordMax; },
        [](float v) { return static_cast<std::uint16_t>(Packing::quantized(v, wordMax)); });
}

void PreviewRenderer::renderPixels(const Prepared& table, const float* in, float* out,
                                   std::int64_t count, int bands) const
{
    checkBands(bands, count);
    renderExact(
        table.lut, table.interpolation, in, out, count, bands, [](float s) { return s; },
        [](float v) { return v; });
}

Image8 PreviewRenderer::render(const Image8& image, const LUT3D& lut,
                               Interpolation interpolation) const
{
    const Prepared table(lut, interpolation);
    const std::int64_t count = image.width() * image.height();
    const std::uint8_t* in = image.data();
    // Every sample is written below, so the buffer is not zeroed first.
    auto out = std::make_unique_for_overwrite<std::uint8_t[]>(image.samples().size());
    const std::int64_t chunks = (count + chunkPixels - 1) / chunkPixels;
    // Every pixel is computed on its own, so the result does not depend on the thread count.
    // Chunks are handed out as threads become free: on a busy machine one core may be slower.
#pragma omp parallel for schedule(dynamic)
    for (std::int64_t k = 0; k < chunks; ++k) {
        const std::int64_t first = k * chunkPixels;
        const std::int64_t length = std::min(chunkPixels, count - first);
        renderBytes(table, vector_, in + 4 * first, out.get() + 4 * first, length, 4,
                    Fourth::opaque);
    }
    return Image8(image.width(), image.height(), std::move(out));
}

}  // namespace lumivert
