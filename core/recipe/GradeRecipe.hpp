#pragma once

// What the window and the command line both mean by a grade: the defaults and ranges of every
// adjustment, the four ways of making a LUT (their inputs, the analysis each runs, how that
// analysis becomes the pipeline's base transform, the name and summary of the result) and the
// titles of the errors each workflow shows. Both faces read this; neither repeats a number.

#include "color/ColorMath.hpp"
#include "color/ColorTransform.hpp"
#include "color/LUT3D.hpp"
#include "color/LUTStack.hpp"
#include "color/ocio/ColorSpace.hpp"
#include "color/ocio/SpaceConversion.hpp"
#include "imaging/LoadedImage.hpp"
#include "learners/EditLearner.hpp"
#include "learners/FineTune.hpp"
#include "learners/GradePipeline.hpp"
#include "learners/LookAnalysis.hpp"
#include "learners/MatchAnalysis.hpp"
#include "lut/LUTFormat.hpp"

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lumivert::GradeRecipe {

// ---- Sizes -------------------------------------------------------------------------------------

// Photos are analysed at most this many pixels on the long side.
inline constexpr std::int64_t analysisPixelSize = 1600;
// A graded HALD's thumbnail only shows which image it was; its table is read at full size.
inline constexpr std::int64_t haldThumbnailSize = 600;
inline constexpr std::int64_t editLatticeSize = 33;
inline constexpr std::int64_t previewLatticeSize = 33;
// Images in a camera or display space are analysed and previewed through a table of the
// space's rendering this fine: its trilinear error stays below an 8-bit level.
inline constexpr std::int64_t renderingLatticeSize = 65;
inline constexpr std::array<std::int64_t, 3> exportSizes{17, 33, 65};
inline constexpr std::int64_t defaultExportSize = 33;
inline constexpr std::int64_t chartWidth = 1200;
inline constexpr std::int64_t chartHeight = 800;
// The name of an export whose LUT has no name.
inline constexpr std::string_view defaultLUTName = "Lumivert Look";

bool isExportSize(std::int64_t size);

// ---- Ranges ------------------------------------------------------------------------------------

// The span a control offers; values outside it are refused where a user types them.
struct Range {
    double lower;
    double upper;
    double defaultValue;

    bool contains(double value) const { return value >= lower && value <= upper; }
    // "0…1.5"
    std::string text() const;
};

inline constexpr Range intensityRange{0, 1.5, 1};
// Each look and match strength; its default is the settings record's own.
inline constexpr Range strengthRange{0, 1.5, 1};
inline constexpr Range fineTuneRange{-1, 1, 0};
// How much of a LUT's change applying it keeps: 0 leaves images as they are, 1 is the LUT.
inline constexpr Range applyStrengthRange{0, 1.5, 1};
// The smoothing slider runs logarithmically between its ends.
inline constexpr Range smoothingRange{0.001, 0.5, 0.02};

// ---- Workflow titles ---------------------------------------------------------------------------

inline constexpr std::string_view openFailedTitle = "Couldn\u2019t open the image";
inline constexpr std::string_view analyseFailedTitle = "Couldn\u2019t analyse the images";
inline constexpr std::string_view saveLUTFailedTitle = "Couldn\u2019t save the LUT";
inline constexpr std::string_view saveHaldFailedTitle = "Couldn\u2019t save the HALD image";
inline constexpr std::string_view saveImageFailedTitle = "Couldn\u2019t save the image";
inline constexpr std::string_view readLUTFailedTitle = "Couldn\u2019t read the LUT";
inline constexpr std::string_view readConfigFailedTitle = "Couldn\u2019t read the colour config";
inline constexpr std::string_view compareFailedTitle = "Couldn\u2019t compare the images";

// ---- Inputs ------------------------------------------------------------------------------------

// The places that hold one image each; every mode reads some of them, the preview photo none.
enum class Slot : std::uint8_t {
    lookReference,
    matchSource,
    matchReference,
    editBefore,
    editAfter,
    hald,
    preview
};

struct SlotRecipe {
    Slot slot;
    std::string_view id;  // "lookReference": stored and scripted
    std::string_view title;
    std::string_view hint;
    bool holdsTable;  // its file is LUT data, read at full size besides the thumbnail
};

const std::array<SlotRecipe, 7>& slots();
const SlotRecipe& recipe(Slot slot);

// A graded HALD's table; every other mode analyses its images after they are loaded.
struct Input {
    LoadedImage image;
    // A graded HALD's table, shared rather than copied: at level 16 it is 200 MB.
    std::shared_ptr<const LUT3D> table;
};

// The file as the slot needs it. Throws the loader's and the HALD reader's errors.
Input load(Slot slot, const std::filesystem::path& file);

// ---- Modes -------------------------------------------------------------------------------------

enum class Mode : std::uint8_t { look, match, edit, hald };
inline constexpr std::size_t modeCount = 4;

// A set of modes, such as the ones an adjustment applies to.
class ModeSet {
public:
    constexpr ModeSet(std::initializer_list<Mode> modes)
    {
        for (const Mode mode : modes)
            bits_ = static_cast<std::uint8_t>(bits_ | bit(mode));
    }
    static constexpr ModeSet all() { return {Mode::look, Mode::match, Mode::edit, Mode::hald}; }
    constexpr bool contains(Mode mode) const { return (bits_ & bit(mode)) != 0; }
    friend constexpr bool operator==(ModeSet, ModeSet) = default;

private:
    static constexpr std::uint8_t bit(Mode mode)
    {
        return static_cast<std::uint8_t>(1U << static_cast<unsigned>(mode));
    }
    std::uint8_t bits_ = 0;
};

// The modes whose LUTs take and give other colour spaces; a graded HALD already says what its
// grader did, so it stays sRGB to sRGB.
inline constexpr ModeSet spaceModes{Mode::look, Mode::match, Mode::edit};

// One named value of a choice, as the window shows it and scripts and stores spell it.
struct Choice {
    std::uint8_t value;   // the enumeration's raw value
    std::string_view id;  // "smooth"
    std::string_view title;
    std::string_view help;
};

// Every adjustment that shapes a grade; the table of adjustments (Adjustments.hpp) describes
// each field.
struct Settings {
    LookSettings look;
    MatchSettings match;
    float smoothing = static_cast<float>(smoothingRange.defaultValue);
    float intensity = static_cast<float>(intensityRange.defaultValue);
    FineTune fineTune;
    // How look and match grades bring colours back into sRGB.
    GamutMapping gamut = defaultGamutMapping;
    // Colours the edit's photos lack follow a global model of the edit instead of no change.
    bool extendEdit = false;
    // The code values the LUT takes (any row of the colour-space table) and the display it
    // gives them for (a display row).
    ColorSpace inputSpace = ColorSpaces::defaultSpace;
    ColorSpace outputSpace = ColorSpaces::defaultSpace;

    friend bool operator==(const Settings&, const Settings&) = default;
};

// The edit learner's system is kept with its fit, so a new smoothing re-solves without the images.
struct EditAnalysis {
    EditSystem system;
    EditFit fit;
};

// What one mode's analysis yields.
using Analysis =
    std::variant<LookAnalysis, MatchAnalysis, EditAnalysis, std::shared_ptr<const LUT3D>>;

// Each mode's latest result; a mode without one grades nothing.
struct Results {
    std::optional<LookAnalysis> look;
    std::optional<MatchAnalysis> match;
    std::optional<EditSystem> editSystem;
    std::optional<EditFit> edit;
    std::shared_ptr<const LUT3D> hald;

    bool has(Mode mode) const;
    void clear(Mode mode);
    void store(Analysis analysis);
};

// The names of the loaded images, by slot.
using SlotNames = std::map<Slot, std::string>;

// Which figures of its result the analysis card lists.
enum class Figures : std::uint8_t { none, lookLevels, editFit };

// How a mode turns its inputs into an analysis, and a result into its base transform and
// summary.
struct ModeSteps {
    Analysis (*analyse)(std::span<const Input> inputs, const Settings& settings);
    std::shared_ptr<const ColorTransform> (*base)(const Results& results, const Settings& settings);
    std::optional<std::string> (*status)(const Results& results, const SlotNames& names);
    // The points per axis of a result that is a table from the user's own file; none otherwise.
    std::optional<std::int64_t> (*tableSize)(const Results& results);
};

struct ModeRecipe {
    Mode mode;
    std::string_view id;  // "look": stored and scripted
    std::string_view title;
    std::span<const Slot> slots;   // the key input first
    Slot nameSlot;                 // its image names the LUT…
    std::string_view nameSuffix;   // …followed by this
    std::string_view unnamed;      // the name of an image that has none
    std::string_view inputsTitle;  // the heading over its image wells
    bool previewsInput;            // the preview starts on the mode's own input
    bool hasInputPreview;          // its key input can be previewed through the grade
    bool analysedOnLoad;           // the loaded input is the result (no analysis step)
    bool mapsGamut;  // colours beyond sRGB come back by Settings::gamut (else by preserving
                     // lightness): the grade's and the fine tune's
    bool comparesWithTarget;  // its second input is what the grade should reproduce: the
                              // preview can show it as the original, and measure against it
    bool offersTemplate;      // its input is made from the identity HALD template
    bool refits;  // its result is fitted again, without the images, when an adjustment that
                  // refits changes
    // Its images are analysed as they look through the input space's rendering, and its grade
    // baked between that rendering and the output display; otherwise (an edit) its fit maps the
    // input space's code values to the output's directly, as the photos were given.
    bool gradesRendered;
    Figures figures;
    ModeSteps steps;

    bool uses(Slot slot) const;
};

const std::array<ModeRecipe, 4>& modes();
const ModeRecipe& recipe(Mode mode);
std::optional<Mode> modeNamed(std::string_view id);
// The mode that reads the slot, if any.
std::optional<Mode> modeOf(Slot slot);

// The images of every slot of the mode, in slot order (else stops). Throws the learners'
// user-data errors (before and after of different shapes). A mode that grades rendered images
// analyses them through the spaces' rendering: the settings' own, or a user config's.
Analysis analyse(Mode mode, std::span<const Input> inputs, const Settings& settings);
Analysis analyse(Mode mode, std::span<const Input> inputs, const Settings& settings,
                 const SpaceConversion& spaces);
// A prepared edit fitted again at another smoothing.
EditFit refit(const EditSystem& system, float smoothing, bool extendEdit = false);

// The points per axis of a result that is itself a table from the user's file (a graded HALD's),
// which an export can keep whole rather than resample; nothing for other modes or no result.
std::optional<std::int64_t> resultTableSize(Mode mode, const Results& results);
// The mode's base transform (the identity without a result), scaled and fine-tuned.
GradePipeline pipeline(Mode mode, const Results& results, const Settings& settings);
// ---- Colour spaces -----------------------------------------------------------------------------

// From the settings' input space to their output display, by the colour-space table; sRGB to
// sRGB for a mode outside spaceModes.
SpaceConversion spacesOf(Mode mode, const Settings& settings);
// The mode's LUT of N points per axis: for sRGB to sRGB the pipeline's own table; for a mode
// that grades rendered images output display ∘ pipeline ∘ rendering of the input, with a log2
// shaper in front for scene-linear inputs; for an edit its fit over 0 … 1, whose intensity
// blends from the conversion S → D.
LUTStack bake(Mode mode, const GradePipeline& pipeline, const SpaceConversion& spaces,
              std::int64_t size);
// Comment lines a LUT file carries about its spaces ("Input: S-Log3 / S-Gamut3.Cine",
// "Output: Rec.709"); none for sRGB to sRGB, whose files stay as they always were.
std::vector<std::string> spaceNotes(const SpaceConversion& spaces);
// The sentence an export of this LUT to the format says when the LUT has a shaper the format
// cannot hold (anything but .cube); nothing otherwise.
std::optional<std::string> shaperDropped(const LUTStack& lut, const SpaceConversion& spaces,
                                         LUTFormat format);

// The LUT's name from the naming slot's image, or nothing while it is empty.
std::optional<std::string> suggestedName(Mode mode, const SlotNames& names);
// The one-line summary of the mode's result, or nothing without one.
std::optional<std::string> statusLine(Mode mode, const Results& results, const SlotNames& names);

// ---- Gamut mapping -----------------------------------------------------------------------------

// The default first.
const std::array<Choice, 2>& gamutMappings();
const Choice& recipe(GamutMapping mapping);
std::optional<GamutMapping> gamutNamed(std::string_view id);

}  // namespace lumivert::GradeRecipe
