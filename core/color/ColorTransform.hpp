#pragma once

// Every grade the system learns or loads is a function from one RGB triple to another.

#include "color/Triples.hpp"

#include <span>

namespace lumivert {

class ColorTransform {
public:
    virtual ~ColorTransform();
    // Pure: no side effects, callable from any thread.
    virtual RGB apply(const RGB& colour) const = 0;
    // apply() on a run of colours whose linear-light values the caller already holds
    // (linear[i] is ColorMath::decode(colours[i]) bit for bit): out[i] = apply(colours[i]).
    // A bake decodes each lattice axis once rather than every node. The three spans must have
    // one length (else stops).
    void applyDecoded(std::span<const RGB> colours, std::span<const RGB> linear,
                      std::span<RGB> out) const;

protected:
    // The run behind applyDecoded(), lengths already checked. The default calls apply() per
    // colour; transforms that begin by decoding override it to skip that step.
    virtual void applyDecodedRun(std::span<const RGB> colours, std::span<const RGB> linear,
                                 std::span<RGB> out) const;
};

class IdentityTransform final : public ColorTransform {
public:
    RGB apply(const RGB& colour) const override;
};

}  // namespace lumivert
