#include "learners/LatticeBand.hpp"

#include "color/Precondition.hpp"

#include <omp.h>

#include <algorithm>
#include <array>
#include <barrier>
#include <cmath>
#include <optional>

namespace lumivert::LatticeBand {

namespace {

// Dot products are summed per block of this many nodes and the blocks combined in order, so the
// solution is the same on any number of threads.
constexpr std::int64_t blockNodes = 1024;
constexpr double relativeTolerance = 1e-10;
constexpr double absoluteTolerance = 1e-20;
constexpr double smallestDenominator = 1e-30;
constexpr int channels = 3;

using Triple = std::array<double, channels>;

// The band stored slot-major (every node's slot 0, then every node's slot 1, …) so that the
// product reads each slot as one contiguous stream, plus which slots of each block hold any
// non-zero entry: the product skips the rest.
struct SlotMajorBand {
    SlotMajorBand(std::int64_t n, std::span<const float> band);

    const float* slot(int s, std::int64_t begin) const
    {
        return entries.data() + s * nodes + begin;
    }
    bool used(std::int64_t block, int s) const { return usedSlots[block * slotCount + s] != 0; }

    std::int64_t nodes;
    std::int64_t blocks;
    std::vector<float> entries;
    std::array<std::int64_t, slotCount> offsets{};
    std::vector<unsigned char> usedSlots;
};

SlotMajorBand::SlotMajorBand(std::int64_t n, std::span<const float> band)
    : nodes(checkedMul(checkedMul(n, n), n)), blocks((nodes + blockNodes - 1) / blockNodes),
      entries(band.size()), usedSlots(static_cast<std::size_t>(blocks * slotCount), 0)
{
    for (int s = 0; s < slotCount; ++s)
        offsets[s] = offset(s, n);
#pragma omp parallel for schedule(static)
    for (std::int64_t block = 0; block < blocks; ++block) {
        const std::int64_t end = std::min(nodes, (block + 1) * blockNodes);
        for (std::int64_t i = block * blockNodes; i < end; ++i) {
            for (int s = 0; s < slotCount; ++s) {
                const float entry = band[static_cast<std::size_t>(i * slotCount + s)];
                entries[static_cast<std::size_t>(s * nodes + i)] = entry;
                if (entry != 0.0f)
                    usedSlots[static_cast<std::size_t>(block * slotCount + s)] = 1;
            }
        }
    }
}

// The iteration's vectors, one array per channel. The search direction carries pad = n² + n + 1
// zeros on each side so that reading it at i + offset never leaves the array.
struct Workspace {
    Workspace(std::int64_t n, const SlotMajorBand& a, std::span<const RGB> rhs);

    float* direction(int c) { return p[c].data() + pad; }

    std::int64_t pad;
    std::vector<float> inverseDiagonal;
    std::array<std::vector<float>, channels> x, r, q, p;
};

Workspace::Workspace(std::int64_t n, const SlotMajorBand& a, std::span<const RGB> rhs)
    : pad(n * n + n + 1), inverseDiagonal(static_cast<std::size_t>(a.nodes))
{
    const float* diagonal = a.slot(diagonalSlot, 0);
    for (std::int64_t i = 0; i < a.nodes; ++i) {
        LUMIVERT_PRECONDITION(diagonal[i] > 0.0f, "the band's diagonal must be positive");
        inverseDiagonal[static_cast<std::size_t>(i)] = 1.0f / diagonal[i];
    }
    const auto nodes = static_cast<std::size_t>(a.nodes);
    for (int c = 0; c < channels; ++c) {
        x[c].assign(nodes, 0.0f);
        r[c].resize(nodes);
        q[c].assign(nodes, 0.0f);
        p[c].assign(nodes + 2 * static_cast<std::size_t>(pad), 0.0f);
    }
    for (std::size_t i = 0; i < nodes; ++i) {
        r[0][i] = rhs[i].r;
        r[1][i] = rhs[i].g;
        r[2][i] = rhs[i].b;
    }
}

struct Range {
    std::int64_t begin;
    std::int64_t count;
};

Range blockRange(const SlotMajorBand& a, std::int64_t block)
{
    const std::int64_t begin = block * blockNodes;
    return {begin, std::min(blockNodes, a.nodes - begin)};
}

double dot(const float* u, const float* v, std::int64_t count)
{
    double sum = 0.0;
#pragma omp simd reduction(+ : sum)
    for (std::int64_t k = 0; k < count; ++k)
        sum += static_cast<double>(u[k]) * static_cast<double>(v[k]);
    return sum;
}

// q = A p on one block of rows, slots in order 0 … 26 for every row; returns the block's p · q.
// The three channels share one pass over the band, which is what the product's time goes on.
Triple multiplyBlock(const SlotMajorBand& a, Workspace& w, std::int64_t block)
{
    const Range range = blockRange(a, block);
    float* qr = w.q[0].data() + range.begin;
    float* qg = w.q[1].data() + range.begin;
    float* qb = w.q[2].data() + range.begin;
    const float* pr = w.direction(0) + range.begin;
    const float* pg = w.direction(1) + range.begin;
    const float* pb = w.direction(2) + range.begin;
    std::fill(qr, qr + range.count, 0.0f);
    std::fill(qg, qg + range.count, 0.0f);
    std::fill(qb, qb + range.count, 0.0f);
    for (int s = 0; s < slotCount; ++s) {
        if (!a.used(block, s))
            continue;
        const float* entry = a.slot(s, range.begin);
        const std::int64_t o = a.offsets[s];
#pragma omp simd
        for (std::int64_t k = 0; k < range.count; ++k) {
            qr[k] += entry[k] * pr[k + o];
            qg[k] += entry[k] * pg[k + o];
            qb[k] += entry[k] * pb[k + o];
        }
    }
    return {dot(pr, qr, range.count), dot(pg, qg, range.count), dot(pb, qb, range.count)};
}

// x += α p, r −= α q on one block; stores the block's Σ r² and Σ m r² per channel.
void updateBlock(const SlotMajorBand& a, Workspace& w, std::int64_t block, const Triple& alpha,
                 Triple& squared, Triple& preconditioned)
{
    const Range range = blockRange(a, block);
    const float* m = w.inverseDiagonal.data() + range.begin;
    for (int c = 0; c < channels; ++c) {
        const float step = static_cast<float>(alpha[c]);
        float* x = w.x[c].data() + range.begin;
        float* r = w.r[c].data() + range.begin;
        const float* p = w.direction(c) + range.begin;
        const float* q = w.q[c].data() + range.begin;
        double rr = 0.0;
        double rz = 0.0;
#pragma omp simd reduction(+ : rr, rz)
        for (std::int64_t k = 0; k < range.count; ++k) {
            x[k] += step * p[k];
            r[k] -= step * q[k];
            const double residual = r[k];
            rr += residual * residual;
            rz += residual * static_cast<double>(m[k] * r[k]);
        }
        squared[c] = rr;
        preconditioned[c] = rz;
    }
}

// p = m r + β p on one block (p = m r when β is 0).
void directionBlock(const SlotMajorBand& a, Workspace& w, std::int64_t block, const Triple& beta)
{
    const Range range = blockRange(a, block);
    const float* m = w.inverseDiagonal.data() + range.begin;
    for (int c = 0; c < channels; ++c) {
        const float scale = static_cast<float>(beta[c]);
        const float* r = w.r[c].data() + range.begin;
        float* p = w.direction(c) + range.begin;
#pragma omp simd
        for (std::int64_t k = 0; k < range.count; ++k)
            p[k] = m[k] * r[k] + scale * p[k];
    }
}

Triple total(const std::vector<Triple>& partials)
{
    Triple sum{};
    for (const Triple& partial : partials) {
        for (int c = 0; c < channels; ++c)
            sum[c] += partial[c];
    }
    return sum;
}

// The per-channel scalars of the iteration. A channel whose curvature p · A p is not positive
// has broken down: A is positive definite, so only rounding on a nearly singular system gets
// there, and a step of ρ / 1e-30 would overflow into a table of NaN. Such a channel keeps its
// current iterate and takes no further steps.
class Scalars {
public:
    explicit Scalars(const Triple& rho) : rho_(rho) {}

    Triple stepLengths(const Triple& curvature)
    {
        Triple alpha{};
        for (int c = 0; c < channels; ++c) {
            if (active_[c]) {
                alpha[c] = rho_[c] / std::max(curvature[c], smallestDenominator);
                active_[c] = curvature[c] > 0.0 && std::isfinite(alpha[c]);
            }
            alpha[c] = active_[c] ? alpha[c] : 0.0;
        }
        return alpha;
    }

    bool finished(const Triple& residual, const Triple& reference) const
    {
        for (int c = 0; c < channels; ++c) {
            if (active_[c] &&
                !(residual[c] <= reference[c] * relativeTolerance + absoluteTolerance))
                return false;
        }
        return true;
    }

    Triple directionWeights(const Triple& rhoNext)
    {
        Triple beta{};
        for (int c = 0; c < channels; ++c) {
            beta[c] = active_[c] ? rhoNext[c] / std::max(rho_[c], smallestDenominator) : 0.0;
            rho_[c] = rhoNext[c];
        }
        return beta;
    }

private:
    Triple rho_;
    std::array<bool, channels> active_{true, true, true};
};

std::vector<RGB> interleaved(const Workspace& w)
{
    std::vector<RGB> result(w.x[0].size());
    for (std::size_t i = 0; i < result.size(); ++i)
        result[i] = {w.x[0][i], w.x[1][i], w.x[2][i]};
    return result;
}

}  // namespace

std::int64_t offset(int slot, std::int64_t n)
{
    LUMIVERT_PRECONDITION(slot >= 0 && slot < slotCount, "band slot outside 0 … 26");
    return (slot % 3 - 1) + n * (slot / 3 % 3 - 1) + n * n * (slot / 9 - 1);
}

Solution solve(std::int64_t n, std::span<const float> band, std::span<const RGB> rhs)
{
    LUMIVERT_PRECONDITION(n >= 2, "a lattice needs at least 2 points per axis");
    const std::int64_t nodes = checkedMul(checkedMul(n, n), n);
    LUMIVERT_PRECONDITION(static_cast<std::int64_t>(band.size()) == checkedMul(slotCount, nodes),
                          "the band needs 27 entries per node");
    LUMIVERT_PRECONDITION(static_cast<std::int64_t>(rhs.size()) == nodes,
                          "the right-hand side needs one triple per node");

    const SlotMajorBand a(n, band);
    Workspace w(n, a, rhs);
    const auto blocks = static_cast<std::size_t>(a.blocks);
    std::vector<Triple> pq(blocks), squared(blocks), preconditioned(blocks);
    int iterations = 0;

    // Start: p = z = m r with r = rhs (a step of α = 0 leaves r as it is and yields the sums);
    // ρ = Σ r z, and the reference ρ0 = Σ r².
    for (std::int64_t block = 0; block < a.blocks; ++block) {
        directionBlock(a, w, block, Triple{});
        updateBlock(a, w, block, Triple{}, squared[block], preconditioned[block]);
    }
    const Triple reference = total(squared);
    const Triple initialRho = total(preconditioned);

    // Every thread runs the same control flow and computes the same scalars from the block
    // partials in the same order; only the blocks are shared out. The threads meet three times
    // per pass at a C++ barrier, which blocks after a short spin: OpenMP's own barriers spin for
    // up to milliseconds, and on a busy machine a spinning thread takes the core its partner
    // needs, which made a solve ten times slower than on one thread.
    std::optional<std::barrier<>> sync;
#pragma omp parallel
    {
        const int threads = omp_get_num_threads();
        const int thread = omp_get_thread_num();
#pragma omp single
        sync.emplace(threads);
        const std::int64_t first = thread * a.blocks / threads;
        const std::int64_t last = (thread + 1) * a.blocks / threads;
        Scalars scalars(initialRho);
        for (int pass = 1; pass <= maxIterations; ++pass) {
            for (std::int64_t block = first; block < last; ++block)
                pq[block] = multiplyBlock(a, w, block);
            sync->arrive_and_wait();
            const Triple alpha = scalars.stepLengths(total(pq));
            for (std::int64_t block = first; block < last; ++block)
                updateBlock(a, w, block, alpha, squared[block], preconditioned[block]);
            sync->arrive_and_wait();
            if (thread == 0)
                iterations = pass;
            if (scalars.finished(total(squared), reference))
                break;
            const Triple beta = scalars.directionWeights(total(preconditioned));
            for (std::int64_t block = first; block < last; ++block)
                directionBlock(a, w, block, beta);
            sync->arrive_and_wait();
        }
    }
    return {interleaved(w), iterations};
}

}  // namespace lumivert::LatticeBand
