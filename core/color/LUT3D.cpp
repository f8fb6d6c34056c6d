#include "color/LUT3D.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"
#include "color/Tetrahedron.hpp"

#include <algorithm>
#include <cmath>

namespace lumivert {

namespace {

std::int64_t entryCount(std::int64_t size)
{
    LUMIVERT_PRECONDITION(size >= 2, "a LUT needs at least 2 points per axis");
    return checkedMul(checkedMul(size, size), size);
}

// Lattice input of index i on an axis of n points, as one single-precision division.
inline float latticeCoordinate(std::int64_t i, float last) { return static_cast<float>(i) / last; }

// One blue slice (all r and g for a fixed b) of a baked table, in storage order.
void bakeSlice(std::int64_t size, std::int64_t b, const LUT3D::Function& f, RGB* out)
{
    const float last = static_cast<float>(size - 1);
    const float blue = latticeCoordinate(b, last);
    for (std::int64_t g = 0; g < size; ++g) {
        const float green = latticeCoordinate(g, last);
        for (std::int64_t r = 0; r < size; ++r)
            *out++ = clamp01(f({latticeCoordinate(r, last), green, blue}));
    }
}

// Component into [0, 1] with NaN as 0, then scaled to lattice units.
inline float latticePosition(float x, float scale)
{
    const float clamped = x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f;
    return clamped * scale;
}

// The lattice cell a place 0 … 1 falls in and the fractions across it, shared by both lookups so
// that they pick the same cell. N − 2 keeps the cell inside the lattice: 1.0 lands in the last
// cell with fraction 1.
struct Cell {
    const RGB* origin;
    float tr;
    float tg;
    float tb;
};

Cell cellAt(const std::vector<RGB>& values, std::int64_t size, float scale, const RGB& place)
{
    const float fr = latticePosition(place.r, scale);
    const float fg = latticePosition(place.g, scale);
    const float fb = latticePosition(place.b, scale);
    const int lastCell = static_cast<int>(size) - 2;
    const int ir = std::min(lastCell, static_cast<int>(fr));
    const int ig = std::min(lastCell, static_cast<int>(fg));
    const int ib = std::min(lastCell, static_cast<int>(fb));
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(size);
    return {values.data() + (ir + n * ig + n * n * ib), fr - static_cast<float>(ir),
            fg - static_cast<float>(ig), fb - static_cast<float>(ib)};
}

}  // namespace

LUT3D::LUT3D(std::int64_t size, std::vector<RGB> values, LUTDomain domain)
    : size_(size), values_(std::move(values)), scale_(static_cast<float>(size - 1)),
      domain_(domain), unitDomain_(domain.isUnit())
{
    LUMIVERT_PRECONDITION(static_cast<std::int64_t>(values_.size()) == entryCount(size),
                          "a LUT of size N needs N³ values");
    LUMIVERT_PRECONDITION(domain_.isValid(), "a LUT's domain is finite with min below max");
}

LUT3D LUT3D::identity(std::int64_t size)
{
    return build(size, [](const RGB& c) { return c; });
}

LUT3D LUT3D::build(std::int64_t size, const Function& f)
{
    std::vector<RGB> values(static_cast<std::size_t>(entryCount(size)));
    const std::int64_t slice = size * size;
    for (std::int64_t b = 0; b < size; ++b)
        bakeSlice(size, b, f, values.data() + b * slice);
    return LUT3D(size, std::move(values));
}

LUT3D LUT3D::buildConcurrently(std::int64_t size, const Function& f)
{
    const std::vector<float> axis = latticeAxis(size);
    return buildRowsConcurrently(size, [&](std::int64_t g, std::int64_t b, std::span<RGB> out) {
        for (std::size_t r = 0; r < out.size(); ++r)
            out[r] =
                f({axis[r], axis[static_cast<std::size_t>(g)], axis[static_cast<std::size_t>(b)]});
    });
}

LUT3D LUT3D::buildRowsConcurrently(std::int64_t size, const RowFunction& row)
{
    std::vector<RGB> values(static_cast<std::size_t>(entryCount(size)));
    buildRowsInto(size, 0, values, row);
    return LUT3D(size, std::move(values));
}

void LUT3D::buildRowsInto(std::int64_t size, std::int64_t firstRow, std::span<RGB> out,
                          const RowFunction& row)
{
    LUMIVERT_PRECONDITION(out.size() % static_cast<std::size_t>(size) == 0 &&
                              firstRow * size + std::ssize(out) <= entryCount(size),
                          "a block of a table holds whole rows within the table");
    // One task per lattice row (fixed b and g): rows balance two cores far better than the
    // few blue slices do. Each row writes only its own entries, so the table is the same on any
    // thread count.
    const auto rows = static_cast<std::int64_t>(out.size()) / size;
#pragma omp parallel for schedule(dynamic, 8)
    for (std::int64_t local = 0; local < rows; ++local) {
        const std::int64_t index = firstRow + local;
        const std::span<RGB> entries =
            out.subspan(static_cast<std::size_t>(local * size), static_cast<std::size_t>(size));
        row(index % size, index / size, entries);
        for (RGB& entry : entries)
            entry = clamp01(entry);
    }
}

std::vector<float> LUT3D::latticeAxis(std::int64_t size)
{
    LUMIVERT_PRECONDITION(size >= 2, "a LUT needs at least 2 points per axis");
    const float last = static_cast<float>(size - 1);
    std::vector<float> axis(static_cast<std::size_t>(size));
    for (std::int64_t i = 0; i < size; ++i)
        axis[static_cast<std::size_t>(i)] = latticeCoordinate(i, last);
    return axis;
}

RGB LUT3D::sample(const RGB& colour) const
{
    return sampleAtPlace(unitDomain_ ? colour : domain_.normalised(colour));
}

RGB LUT3D::sampleAtPlace(const RGB& colour) const
{
    const auto [c, tr, tg, tb] = cellAt(values_, size_, scale_, colour);
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(size_);
    const std::ptrdiff_t n2 = n * n;
    const RGB e00 = lerp(c[0], c[1], tr);
    const RGB e10 = lerp(c[n], c[n + 1], tr);
    const RGB e01 = lerp(c[n2], c[n2 + 1], tr);
    const RGB e11 = lerp(c[n + n2], c[n + n2 + 1], tr);
    const RGB f0 = lerp(e00, e10, tg);
    const RGB f1 = lerp(e01, e11, tg);
    return lerp(f0, f1, tb);
}

RGB LUT3D::sampleTetrahedral(const RGB& colour) const
{
    return sampleTetrahedralAtPlace(unitDomain_ ? colour : domain_.normalised(colour));
}

RGB LUT3D::sampleTetrahedralAtPlace(const RGB& colour) const
{
    const auto [c, tr, tg, tb] = cellAt(values_, size_, scale_, colour);
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(size_);
    const std::ptrdiff_t n2 = n * n;
    const Tetrahedron t = tetrahedron(tr, tg, tb, 1, n, n2);
    const RGB& origin = c[0];
    const RGB& edge = c[t.edge];
    const RGB& face = c[t.face];
    const RGB& far = c[1 + n + n2];
    // Steps along the tetrahedron's edges: a constant table gives its constant exactly.
    RGB v = origin + (edge - origin) * t.first;
    v += (face - edge) * t.second;
    v += (far - face) * t.third;
    return v;
}

LUT3D LUT3D::withStrength(float s) const
{
    LUMIVERT_PRECONDITION(std::isfinite(s), "a strength is a finite number");
    if (s == 1.0f)
        return *this;
    const std::vector<float> axis = latticeAxis(size_);
    std::vector<RGB> blended(values_.size());
    std::size_t i = 0;
    for (float b : axis) {
        for (float g : axis) {
            for (float r : axis) {
                const RGB input = unitDomain_ ? RGB{r, g, b} : domain_.at({r, g, b});
                blended[i] = input + (values_[i] - input) * s;
                ++i;
            }
        }
    }
    return LUT3D(size_, std::move(blended), domain_);
}

LUT3D LUT3D::resampled(std::int64_t size) const
{
    if (size == size_)
        return *this;
    // Lattice places of the new table are places of the same domain.
    return baked(
        size, [this](const RGB& place) { return sampleAtPlace(place); }, domain_);
}

LUT3D LUT3D::onUnitDomain(std::int64_t size) const
{
    if (unitDomain_)
        return resampled(size);
    return baked(
        size, [this](const RGB& c) { return sample(c); }, LUTDomain{});
}

bool LUT3D::isWithinUnitRange() const
{
    return std::all_of(values_.begin(), values_.end(), [](const RGB& v) {
        return v.r >= 0.0f && v.r <= 1.0f && v.g >= 0.0f && v.g <= 1.0f && v.b >= 0.0f &&
               v.b <= 1.0f;
    });
}

// Our own tables are clamped as build() does; a wider table (HDR, scene-referred) keeps its
// values, which only an 8- or 16-bit image may clamp.
LUT3D LUT3D::baked(std::int64_t size, const Function& f, const LUTDomain& domain) const
{
    if (isWithinUnitRange()) {
        LUT3D clamped = build(size, f);
        return LUT3D(size, std::move(clamped.values_), domain);
    }
    return buildUnclamped(size, f, domain);
}

LUT3D LUT3D::buildUnclamped(std::int64_t size, const Function& f, const LUTDomain& domain)
{
    std::vector<RGB> values(static_cast<std::size_t>(entryCount(size)));
    const std::vector<float> axis = latticeAxis(size);
    std::size_t position = 0;
    for (const float b : axis) {
        for (const float g : axis) {
            for (const float r : axis)
                values[position++] = f({r, g, b});
        }
    }
    return LUT3D(size, std::move(values), domain);
}

std::int64_t LUT3D::index(std::int64_t r, std::int64_t g, std::int64_t b) const
{
    LUMIVERT_PRECONDITION(r >= 0 && r < size_ && g >= 0 && g < size_ && b >= 0 && b < size_,
                          "lattice index outside the LUT");
    return checkedAdd(r, checkedMul(size_, checkedAdd(g, checkedMul(size_, b))));
}

const RGB& LUT3D::operator()(std::int64_t r, std::int64_t g, std::int64_t b) const
{
    return values_[static_cast<std::size_t>(index(r, g, b))];
}

float LUT3D::maxDeviationFromIdentity() const
{
    float deviation = 0.0f;
    const RGB* entry = values_.data();
    for (std::int64_t b = 0; b < size_; ++b) {
        const float blue = latticeCoordinate(b, scale_);
        for (std::int64_t g = 0; g < size_; ++g) {
            const float green = latticeCoordinate(g, scale_);
            for (std::int64_t r = 0; r < size_; ++r, ++entry) {
                const RGB input = domain_.at({latticeCoordinate(r, scale_), green, blue});
                deviation =
                    std::max({deviation, std::fabs(entry->r - input.r),
                              std::fabs(entry->g - input.g), std::fabs(entry->b - input.b)});
            }
        }
    }
    return deviation;
}

std::vector<float> LUT3D::rgbaFloatData() const
{
    std::vector<float> data;
    data.reserve(values_.size() * 4);
    for (const RGB& v : values_) {
        data.push_back(v.r);
        data.push_back(v.g);
        data.push_back(v.b);
        data.push_back(1.0f);
    }
    return data;
}

}  // namespace lumivert
