#pragma once

// How a LUT gets from its input colour space S to its output display D, baked on lattice nodes
// only. Grades work on sRGB-encoded display values, so a graded LUT is
//     output display ∘ grade ∘ rendering of S,
// where the rendering takes S's code values to sRGB code values (through the ACES SDR video
// output transform for camera and scene spaces) and the output display takes sRGB code values
// to D's. With no grade the LUT is the conversion S → D itself, in one OpenColorIO chain.
// Tables into a display are clamped into 0 … 1. Scene-linear inputs get a log2 shaper
// (LogShaper.hpp) feeding the 3D table; the others a plain table over 0 … 1. sRGB to sRGB never
// calls OpenColorIO: its tables are exactly the identity and the grade's own bake.

#include "color/ColorTransform.hpp"
#include "color/LUTStack.hpp"
#include "color/ocio/ColorSpace.hpp"
#include "color/ocio/LatticeProcessor.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace lumivert {

class SpaceConversion {
public:
    // sRGB in and out.
    SpaceConversion() = default;
    // From the table's chains; output must be a display space (else stops).
    static SpaceConversion builtin(ColorSpace input, ColorSpace output);
    // From a user's config and two of its colour-space names (or roles); the grade then works on
    // the output's code values. Throws ColorSpaceError with a sentence naming what is wrong.
    static SpaceConversion fromConfig(const std::filesystem::path& config, std::string_view input,
                                      std::string_view output);

    // sRGB to sRGB: callers may keep the plain paths, whose tables are byte-identical.
    bool isIdentity() const { return identity_; }
    // Whether the tables take scene-linear input through LogShaper's curves.
    bool hasShaper() const { return shaper_; }
    // What a LUT file's comment lines and the status line call the two spaces: the table's
    // titles ("S-Log3 / S-Gamut3.Cine"), or a config's own names.
    const std::string& inputTitle() const { return inputTitle_; }
    const std::string& outputTitle() const { return outputTitle_; }

    // S → D with no grade.
    LUTStack conversion(std::int64_t size) const;
    // S → sRGB code values: how an image in S looks, for analysing it and for the preview.
    LUTStack rendering(std::int64_t size) const;
    // The rendering undone: sRGB code values (a plain table over 0 … 1) to the S code values
    // that look like them, unclamped (scene-linear highlights lie above 1). The test chart and
    // sample frames are shown through it as a camera in S would have recorded them.
    LUT3D encoding(std::int64_t size) const;
    // D ∘ grade ∘ rendering; the grade (pure, called from several threads) sees sRGB code values
    // in 0 … 1, as every grade of the core expects, so a graded Rec.2020 table stays within the
    // sRGB gamut (conversion() keeps the wider one).
    LUTStack graded(const ColorTransform& grade, std::int64_t size) const;

private:
    LatticeProcessor direct_;     // S → D
    LatticeProcessor rendering_;  // S → sRGB (the grading space)
    LatticeProcessor display_;    // sRGB → D
    LatticeProcessor encoding_;   // sRGB → S
    bool shaper_ = false;
    bool identity_ = true;
    std::string inputTitle_{ColorSpaces::row(ColorSpace::srgb).title};
    std::string outputTitle_{ColorSpaces::row(ColorSpace::srgb).title};
};

}  // namespace lumivert
