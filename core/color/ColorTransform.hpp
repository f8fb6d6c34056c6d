#pragma once

// Every grade the system learns or loads is a function from one RGB triple to another.

#include "color/Triples.hpp"

namespace lumivert {

class ColorTransform {
public:
    virtual ~ColorTransform();
    // Pure: no side effects, callable from any thread.
    virtual RGB apply(const RGB& colour) const = 0;
};

class IdentityTransform final : public ColorTransform {
public:
    RGB apply(const RGB& colour) const override;
};

}  // namespace lumivert
