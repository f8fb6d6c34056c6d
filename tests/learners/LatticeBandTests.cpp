#include "learners/LatticeBand.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace lumivert {
namespace {

using LatticeBand::offset;
using LatticeBand::slot;
using LatticeBand::slotCount;

struct Lattice {
    std::int64_t n;
    std::int64_t nodes() const { return n * n * n; }
    bool inside(std::int64_t r, std::int64_t g, std::int64_t b) const
    {
        return r >= 0 && r < n && g >= 0 && g < n && b >= 0 && b < n;
    }
};

// Calls f(i, j, s) for every node i and every neighbour j of it inside the lattice, with s the
// slot of j in row i (the diagonal included).
template <typename F> void forEachCoupling(const Lattice& lattice, F f)
{
    const std::int64_t n = lattice.n;
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r)
                for (int dz = -1; dz <= 1; ++dz)
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx) {
                            if (!lattice.inside(r + dx, g + dy, b + dz))
                                continue;
                            const std::int64_t i = r + n * (g + n * b);
                            const std::int64_t j = (r + dx) + n * ((g + dy) + n * (b + dz));
                            f(i, j, slot(dx, dy, dz));
                        }
}

// A symmetric, strictly diagonally dominant (hence positive definite) band with random
// couplings to all 26 neighbours.
std::vector<float> randomBand(const Lattice& lattice, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coupling(-0.2f, 0.0f);
    std::uniform_real_distribution<float> extra(0.5f, 4.0f);
    std::vector<float> band(static_cast<std::size_t>(slotCount * lattice.nodes()), 0.0f);
    forEachCoupling(lattice, [&](std::int64_t i, std::int64_t j, int s) {
        if (j <= i)
            return;
        const float value = coupling(random);
        band[static_cast<std::size_t>(slotCount * i + s)] = value;
        band[static_cast<std::size_t>(slotCount * j + (slotCount - 1 - s))] = value;
    });
    for (std::int64_t i = 0; i < lattice.nodes(); ++i)
        band[static_cast<std::size_t>(slotCount * i + LatticeBand::diagonalSlot)] =
            26 * 0.2f + extra(random);
    return band;
}

std::vector<RGB> randomRhs(const Lattice& lattice, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<RGB> rhs(static_cast<std::size_t>(lattice.nodes()));
    for (RGB& v : rhs)
        v = {value(random), value(random), value(random)};
    return rhs;
}

// The exact solution of one channel by dense Gaussian elimination in double precision.
std::vector<double> denseSolve(const Lattice& lattice, const std::vector<float>& band,
                               const std::vector<double>& rhs)
{
    const auto size = static_cast<std::size_t>(lattice.nodes());
    std::vector<std::vector<double>> a(size, std::vector<double>(size + 1, 0.0));
    forEachCoupling(lattice, [&](std::int64_t i, std::int64_t j, int s) {
        a[i][j] = band[static_cast<std::size_t>(slotCount * i + s)];
    });
    for (std::size_t i = 0; i < size; ++i)
        a[i][size] = rhs[i];
    for (std::size_t k = 0; k < size; ++k) {
        for (std::size_t i = k + 1; i < size; ++i) {
            const double factor = a[i][k] / a[k][k];
            for (std::size_t j = k; j <= size; ++j)
                a[i][j] -= factor * a[k][j];
        }
    }
    std::vector<double> x(size, 0.0);
    for (std::size_t k = size; k-- > 0;) {
        double sum = a[k][size];
        for (std::size_t j = k + 1; j < size; ++j)
            sum -= a[k][j] * x[j];
        x[k] = sum / a[k][k];
    }
    return x;
}

std::vector<double> channel(const std::vector<RGB>& values, float RGB::*c)
{
    std::vector<double> result;
    for (const RGB& v : values)
        result.push_back(v.*c);
    return result;
}

TEST(LatticeBandLayout, SlotsAndOffsetsAgree)
{
    EXPECT_EQ(LatticeBand::diagonalSlot, slot(0, 0, 0));
    EXPECT_EQ(slot(-1, -1, -1), 0);
    EXPECT_EQ(slot(1, 1, 1), 26);
    EXPECT_EQ(slot(1, 0, 0), 14);
    EXPECT_EQ(slot(0, 1, 0), 16);
    EXPECT_EQ(slot(0, 0, 1), 22);
    for (std::int64_t n : {2, 5, 33}) {
        for (int dz = -1; dz <= 1; ++dz)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    EXPECT_EQ(offset(slot(dx, dy, dz), n), dx + n * dy + n * n * dz);
    }
}

TEST(LatticeBandSolve, MatchesADenseSolutionPerChannel)
{
    for (std::int64_t n : {2, 3, 4}) {
        const Lattice lattice{n};
        const std::vector<float> band = randomBand(lattice, 11 + static_cast<unsigned>(n));
        const std::vector<RGB> rhs = randomRhs(lattice, 23 + static_cast<unsigned>(n));
        const LatticeBand::Solution solution = LatticeBand::solve(n, band, rhs);
        EXPECT_GE(solution.iterations, 1);
        EXPECT_LT(solution.iterations, LatticeBand::maxIterations);
        for (float RGB::*c : {&RGB::r, &RGB::g, &RGB::b}) {
            const std::vector<double> exact = denseSolve(lattice, band, channel(rhs, c));
            for (std::size_t i = 0; i < exact.size(); ++i)
                EXPECT_NEAR(solution.x[i].*c, exact[i], 2e-5) << "n " << n << ", node " << i;
        }
    }
}

TEST(LatticeBandSolve, ZeroChannelsStayZeroAndZeroRhsStopsAtOnce)
{
    const Lattice lattice{4};
    const std::vector<float> band = randomBand(lattice, 5);
    std::vector<RGB> rhs = randomRhs(lattice, 6);
    for (RGB& v : rhs)
        v.g = v.b = 0.0f;
    const LatticeBand::Solution solution = LatticeBand::solve(lattice.n, band, rhs);
    const std::vector<double> exact = denseSolve(lattice, band, channel(rhs, &RGB::r));
    for (std::size_t i = 0; i < exact.size(); ++i) {
        EXPECT_NEAR(solution.x[i].r, exact[i], 2e-5);
        EXPECT_EQ(solution.x[i].g, 0.0f);
        EXPECT_EQ(solution.x[i].b, 0.0f);
    }

    const std::vector<RGB> zero(rhs.size());
    const LatticeBand::Solution none = LatticeBand::solve(lattice.n, band, zero);
    EXPECT_EQ(none.iterations, 1);
    EXPECT_EQ(none.x, zero);
}

TEST(LatticeBandSolve, ResultDoesNotDependOnTheThreadCount)
{
    const Lattice lattice{17};  // several blocks of rows
    const std::vector<float> band = randomBand(lattice, 3);
    const std::vector<RGB> rhs = randomRhs(lattice, 4);
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const LatticeBand::Solution one = LatticeBand::solve(lattice.n, band, rhs);
    omp_set_num_threads(2);
    const LatticeBand::Solution two = LatticeBand::solve(lattice.n, band, rhs);
    omp_set_num_threads(threads);
    EXPECT_EQ(one.iterations, two.iterations);
    EXPECT_EQ(one.x, two.x);
}

// A graph Laplacian coupling the axis neighbours with weight 1 along red and `weak` along green
// and blue, plus a ridge: a condition number the Jacobi preconditioner cannot mend.
std::vector<float> anisotropicLaplacian(const Lattice& lattice, float weak, float ridge)
{
    std::vector<float> band(static_cast<std::size_t>(slotCount * lattice.nodes()), 0.0f);
    forEachCoupling(lattice, [&](std::int64_t i, std::int64_t, int s) {
        const bool alongRed = s == slot(-1, 0, 0) || s == slot(1, 0, 0);
        const bool alongOther =
            s == slot(0, -1, 0) || s == slot(0, 1, 0) || s == slot(0, 0, -1) || s == slot(0, 0, 1);
        if (!alongRed && !alongOther)
            return;
        const float weight = alongRed ? 1.0f : weak;
        band[static_cast<std::size_t>(slotCount * i + s)] -= weight;
        band[static_cast<std::size_t>(slotCount * i + LatticeBand::diagonalSlot)] += weight;
    });
    for (std::int64_t i = 0; i < lattice.nodes(); ++i)
        band[static_cast<std::size_t>(slotCount * i + LatticeBand::diagonalSlot)] += ridge;
    return band;
}

bool allFinite(const std::vector<RGB>& values)
{
    return std::all_of(values.begin(), values.end(), [](const RGB& v) {
        return std::isfinite(v.r) && std::isfinite(v.g) && std::isfinite(v.b);
    });
}

TEST(LatticeBandSolve, StopsAfterTheIterationLimit)
{
    const Lattice lattice{14};
    const LatticeBand::Solution solution = LatticeBand::solve(
        lattice.n, anisotropicLaplacian(lattice, 3e-3f, 1e-5f), randomRhs(lattice, 9));
    EXPECT_EQ(solution.iterations, LatticeBand::maxIterations);
    EXPECT_TRUE(allFinite(solution.x));
}

TEST(LatticeBandSolve, RoundingBreakdownKeepsTheIterateFinite)
{
    // So nearly singular that single-precision products lose the curvature's sign; a step of
    // ρ / 1e-30 would overflow into NaN.
    const Lattice lattice{12};
    const LatticeBand::Solution solution = LatticeBand::solve(
        lattice.n, anisotropicLaplacian(lattice, 1e-6f, 1e-7f), randomRhs(lattice, 9));
    EXPECT_TRUE(allFinite(solution.x));
    EXPECT_LT(solution.iterations, LatticeBand::maxIterations);
}

TEST(LatticeBandDeathTest, MalformedSystemsStop)
{
    const Lattice lattice{3};
    std::vector<float> band = randomBand(lattice, 1);
    const std::vector<RGB> rhs = randomRhs(lattice, 2);
    EXPECT_DEATH(LatticeBand::solve(1, band, std::vector<RGB>(1)), "at least 2");
    EXPECT_DEATH(LatticeBand::solve(3, std::vector<float>(27), rhs), "27 entries");
    EXPECT_DEATH(LatticeBand::solve(3, band, std::vector<RGB>(26)), "one triple per node");
    band[slotCount * 5 + LatticeBand::diagonalSlot] = 0.0f;
    EXPECT_DEATH(LatticeBand::solve(3, band, rhs), "diagonal must be positive");
}

}  // namespace
}  // namespace lumivert
