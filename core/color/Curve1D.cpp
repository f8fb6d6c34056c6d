#include "color/Curve1D.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"

#include <algorithm>

namespace lumivert {

namespace {

std::vector<float> tabulate(std::int64_t count, const std::function<float(float)>& f)
{
    LUMIVERT_PRECONDITION(count >= 2, "a curve needs at least 2 entries");
    std::vector<float> table;
    table.reserve(static_cast<std::size_t>(count));
    const float last = static_cast<float>(count - 1);
    for (std::int64_t i = 0; i < count; ++i)
        table.push_back(f(static_cast<float>(i) / last));
    return table;
}

}  // namespace

Curve1D::Curve1D(std::vector<float> table) : table_(std::move(table))
{
    LUMIVERT_PRECONDITION(table_.size() >= 2, "a curve needs at least 2 entries");
}

Curve1D::Curve1D(std::int64_t count, const std::function<float(float)>& f)
    : table_(tabulate(count, f))
{
}

const Curve1D& Curve1D::identity()
{
    static const Curve1D shared(std::vector<float>{0.0f, 1.0f});
    return shared;
}

float Curve1D::operator()(float x) const
{
    const auto n = static_cast<std::int64_t>(table_.size());
    const float scaled = clamp01(x) * static_cast<float>(n - 1);
    const std::int64_t i = std::min(n - 2, static_cast<std::int64_t>(scaled));
    const float t = scaled - static_cast<float>(i);
    const auto k = static_cast<std::size_t>(i);
    return table_[k] + t * (table_[k + 1] - table_[k]);
}

}  // namespace lumivert
