#pragma once

// An OpenColorIO processor, applied to runs of lattice inputs (never to an image's pixels, which
// stay on the core's own lookups). The only file of the core that includes OpenColorIO is its
// source. A value: copies share one immutable processor, usable from any thread.

#include "color/Triples.hpp"
#include "color/ocio/ColorSpace.hpp"

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace lumivert {

class LatticeProcessor {
public:
    // Changes nothing, without calling OpenColorIO at all.
    LatticeProcessor() = default;
    // The built-ins in order; a style the registry lacks stops (the names are the core's own).
    explicit LatticeProcessor(std::span<const BuiltinStep> steps);

    // From a user's config: input and output are colour-space names (or roles) of the file.
    // Throws ColorSpaceError when the file cannot be read or lacks either name.
    static LatticeProcessor fromConfig(const std::filesystem::path& config, std::string_view input,
                                       std::string_view output);
    // The kind of one of a config's colour spaces, from its encoding (scene-linear, log, else
    // display); throws as fromConfig() does.
    static ColorSpaceKind configSpaceKind(const std::filesystem::path& config,
                                          std::string_view name);

    // True for the default processor only (no OpenColorIO work at all).
    bool isIdentity() const { return !impl_; }

    // Each colour replaced by the processor's output, unclamped.
    void apply(std::span<RGB> colours) const;

private:
    struct Impl;
    std::shared_ptr<const Impl> impl_;
};

}  // namespace lumivert
