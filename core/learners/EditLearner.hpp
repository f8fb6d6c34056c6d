#pragma once

// Learns the global colour change between a photo before and after an edit as a LUT: the
// correction D = output − input at every node of an n³ lattice (red fastest), fitted by least
// squares with the lookup's own trilinear weights plus a smoothness prior. prepare() reads the
// images once; solve() can then be run again for every smoothness without touching them.

#include "color/LUT3D.hpp"
#include "color/PixelBuffer.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace lumivert {

class EditLearnerError : public std::runtime_error {
public:
    enum class Reason { differentShapes };

    // The aspect ratios differ by 2 % or more.
    static EditLearnerError differentShapes();

    Reason reason() const { return reason_; }

    friend bool operator==(const EditLearnerError& x, const EditLearnerError& y)
    {
        return x.reason_ == y.reason_;
    }

private:
    explicit EditLearnerError(Reason reason);

    Reason reason_;
};

// The data part of the least-squares problem. Immutable, so copies share one storage block.
class EditSystem {
public:
    // normal: 27 entries per node in the lattice band layout (LatticeBand.hpp), the data part of
    // AᵀA; rhs: Aᵀ(after − before), one triple per node; check samples of equal count, clamped.
    // Needs gridSize ≥ 2 and those sizes (else stops). Coverage is derived from the diagonal.
    EditSystem(std::int64_t gridSize, std::vector<float> normal, std::vector<RGB> rhs,
               std::vector<RGB> checkBefore, std::vector<RGB> checkAfter, std::int64_t sampleCount);

    std::int64_t gridSize() const { return data_->gridSize; }
    std::span<const float> normal() const { return data_->normal; }
    std::span<const RGB> rhs() const { return data_->rhs; }
    std::span<const RGB> checkBefore() const { return data_->checkBefore; }
    std::span<const RGB> checkAfter() const { return data_->checkAfter; }
    std::int64_t sampleCount() const { return data_->sampleCount; }
    // Fraction of nodes whose diagonal entry exceeds 1e-6.
    float coverage() const { return data_->coverage; }

    friend bool operator==(const EditSystem& x, const EditSystem& y);

private:
    struct Data {
        std::int64_t gridSize;
        std::vector<float> normal;
        std::vector<RGB> rhs;
        std::vector<RGB> checkBefore;
        std::vector<RGB> checkAfter;
        std::int64_t sampleCount;
        float coverage;
    };
    std::shared_ptr<const Data> data_;
};

// What the fit falls back to where the photos leave the lattice without data: no change (the
// lattice's own smoothness alone), or a global model of the edit fitted to the same pixels, so
// colours the pair lacks follow the overall edit.
enum class EditPrior : std::uint8_t { noChange, overallEdit };

struct EditFit {
    LUT3D lut;
    float rmsError = 0;               // on the check samples, in 8-bit levels
    float coverage = 0;               // copied from the system
    std::int64_t iterations = 0;      // conjugate-gradient passes the fit took
    bool followsOverallEdit = false;  // uncovered colours follow the global model, not no change
};

namespace EditLearner {

// Accumulates the system from at most about 400,000 pixels and keeps about 20,000 check samples.
// Buffers of different sizes whose aspect ratios differ by less than 2 % are both resized to the
// smaller width and height; otherwise throws EditLearnerError. gridSize ≥ 2 (else stops).
EditSystem prepare(const PixelBuffer& before, const PixelBuffer& after, std::int64_t gridSize);

// The system's band plus λ × (graph Laplacian of the 6-connected lattice + 1e-4 × identity),
// λ = mean covered diagonal × smoothness; smoothness below 1e-5 (or NaN) acts as 1e-5.
std::vector<float> regularisedNormal(const EditSystem& system, float smoothness);

// Solves the regularised system, bakes the clamped LUT and measures it on the check samples.
// With overallEdit the prior acts on the correction's departure from the global model fitted to
// the check samples (OverallEdit.hpp), not on the correction itself.
EditFit solve(const EditSystem& system, float smoothness, EditPrior prior = EditPrior::noChange);

}  // namespace EditLearner

}  // namespace lumivert
