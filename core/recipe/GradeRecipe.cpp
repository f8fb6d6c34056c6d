#include "recipe/GradeRecipe.hpp"

#include "color/ColorTransform.hpp"
#include "color/Precondition.hpp"
#include "imaging/ImageLoader.hpp"
#include "learners/ColorMatcher.hpp"
#include "learners/LookExtractor.hpp"
#include "learners/LookTransform.hpp"
#include "learners/MatchTransform.hpp"
#include "learners/StatusLine.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTWriter.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace lumivert::GradeRecipe {

namespace {

using Base = std::shared_ptr<const ColorTransform>;

// origin + (base − origin) × intensity: a base blended from another transform's output rather
// than from the input colour.
class BlendedFrom final : public ColorTransform {
public:
    BlendedFrom(LUT3D origin, Base base, float intensity)
        : origin_(std::move(origin)), base_(std::move(base)), intensity_(intensity)
    {
    }
    RGB apply(const RGB& colour) const override
    {
        if (intensity_ == 1.0f)
            return base_->apply(colour);
        const RGB from = origin_.apply(colour);
        return from + (base_->apply(colour) - from) * intensity_;
    }

private:
    LUT3D origin_;
    Base base_;
    float intensity_;
};

constexpr std::array<Slot, 1> lookSlots{Slot::lookReference};
constexpr std::array<Slot, 2> matchSlots{Slot::matchSource, Slot::matchReference};
constexpr std::array<Slot, 2> editSlots{Slot::editBefore, Slot::editAfter};
constexpr std::array<Slot, 1> haldSlots{Slot::hald};

const std::array<SlotRecipe, 7> slotTable{{
    {Slot::lookReference, "lookReference", "Look photo", "The image whose colours you want", false},
    {Slot::matchSource, "matchSource", "Your photo", "The photo you want to change", false},
    {Slot::matchReference, "matchReference", "Reference look", "The photo whose look you want",
     false},
    {Slot::editBefore, "editBefore", "Before", "The original, unedited photo", false},
    {Slot::editAfter, "editAfter", "After", "The same photo after your edit", false},
    {Slot::hald, "hald", "Graded HALD", "A HALD image you graded, e.g. 512 \u00D7 512", true},
    {Slot::preview, "preview", "Preview photo", "Optional: see the LUT on another photo", false},
}};

std::optional<std::int64_t> noTable(const Results&) { return std::nullopt; }

std::optional<std::string> nameIn(const SlotNames& names, Slot slot)
{
    const auto found = names.find(slot);
    return found == names.end() ? std::nullopt : std::optional(found->second);
}

// ---- Each mode's steps
// ---------------------------------------------------------------------------

Analysis analyseLook(std::span<const Input> inputs, const Settings&)
{
    return LookExtractor::analyse(inputs[0].image.pixels());
}

Base lookBase(const Results& results, const Settings& settings)
{
    return results.look
               ? std::make_shared<const LookTransform>(*results.look, settings.look, settings.gamut)
               : nullptr;
}

std::optional<std::string> lookStatus(const Results& results, const SlotNames&)
{
    return results.look ? std::optional(StatusLine::look(*results.look)) : std::nullopt;
}

Analysis analyseMatch(std::span<const Input> inputs, const Settings&)
{
    return ColorMatcher::analyse(inputs[0].image.pixels(), inputs[1].image.pixels());
}

Base matchBase(const Results& results, const Settings& settings)
{
    return results.match ? std::make_shared<const MatchTransform>(*results.match, settings.match,
                                                                  settings.gamut)
                         : nullptr;
}

std::optional<std::string> matchStatus(const Results& results, const SlotNames& names)
{
    const auto source = nameIn(names, Slot::matchSource);
    const auto reference = nameIn(names, Slot::matchReference);
    if (!results.match || !source || !reference)
        return std::nullopt;
    return StatusLine::match(*source, *reference);
}

Analysis analyseEdit(std::span<const Input> inputs, const Settings& settings)
{
    EditSystem system =
        EditLearner::prepare(inputs[0].image.pixels(), inputs[1].image.pixels(), editLatticeSize);
    EditFit fit = refit(system, settings.smoothing, settings.extendEdit);
    return EditAnalysis{std::move(system), std::move(fit)};
}

Base editBase(const Results& results, const Settings&)
{
    return results.edit ? std::make_shared<const LUT3D>(results.edit->lut) : nullptr;
}

std::optional<std::string> editStatus(const Results& results, const SlotNames&)
{
    if (!results.edit)
        return std::nullopt;
    return StatusLine::edit(results.edit->rmsError, results.edit->coverage,
                            results.edit->followsOverallEdit);
}

Analysis analyseHald(std::span<const Input> inputs, const Settings&)
{
    LUMIVERT_PRECONDITION(inputs[0].table != nullptr, "a HALD input carries its table");
    return inputs[0].table;
}

Base haldBase(const Results& results, const Settings&) { return results.hald; }

std::optional<std::string> haldStatus(const Results& results, const SlotNames&)
{
    return results.hald ? std::optional(StatusLine::hald(results.hald->size())) : std::nullopt;
}

// A graded HALD's table is the user's own, which an export can keep whole.
std::optional<std::int64_t> haldTableSize(const Results& results)
{
    return results.hald ? std::optional(results.hald->size()) : std::nullopt;
}

// ---- Modes
// ---------------------------------------------------------------------------------------

constexpr std::array<ModeRecipe, modeCount> modeTable{{
    {.mode = Mode::look,
     .id = "look",
     .title = "Look",
     .slots = lookSlots,
     .nameSlot = Slot::lookReference,
     .nameSuffix = " Look",
     .unnamed = "Photo",
     .inputsTitle = "Images",
     .previewsInput = false,
     .hasInputPreview = true,
     .analysedOnLoad = false,
     .mapsGamut = true,
     .comparesWithTarget = false,
     .offersTemplate = false,
     .refits = false,
     .gradesRendered = true,
     .figures = Figures::lookLevels,
     .steps = {analyseLook, lookBase, lookStatus, noTable}},
    {.mode = Mode::match,
     .id = "match",
     .title = "Match",
     .slots = matchSlots,
     .nameSlot = Slot::matchReference,
     .nameSuffix = " Match",
     .unnamed = "Photo",
     .inputsTitle = "Images",
     .previewsInput = true,
     .hasInputPreview = true,
     .analysedOnLoad = false,
     .mapsGamut = true,
     .comparesWithTarget = false,
     .offersTemplate = false,
     .refits = false,
     .gradesRendered = true,
     .figures = Figures::none,
     .steps = {analyseMatch, matchBase, matchStatus, noTable}},
    {.mode = Mode::edit,
     .id = "edit",
     .title = "Before & After",
     .slots = editSlots,
     .nameSlot = Slot::editAfter,
     .nameSuffix = " Edit",
     .unnamed = "Photo",
     .inputsTitle = "Images",
     .previewsInput = true,
     .hasInputPreview = true,
     .analysedOnLoad = false,
     .mapsGamut = false,
     .comparesWithTarget = true,
     .offersTemplate = false,
     .refits = true,
     .gradesRendered = false,
     .figures = Figures::editFit,
     // The fit is the learner's lattice, not a table the user made.
     .steps = {analyseEdit, editBase, editStatus, noTable}},
    {.mode = Mode::hald,
     .id = "hald",
     .title = "HALD",
     .slots = haldSlots,
     .nameSlot = Slot::hald,
     .nameSuffix = "",
     .unnamed = "HALD",
     .inputsTitle = "HALD image",
     .previewsInput = false,
     .hasInputPreview = false,
     .analysedOnLoad = true,
     .mapsGamut = false,
     .comparesWithTarget = false,
     .offersTemplate = true,
     .refits = false,
     .gradesRendered = false,
     .figures = Figures::none,
     .steps = {analyseHald, haldBase, haldStatus, haldTableSize}},
}};

// recipe(mode) indexes the table by the mode's raw value.
constexpr bool rowsInModeOrder()
{
    for (std::size_t i = 0; i < modeTable.size(); ++i)
        if (static_cast<std::size_t>(modeTable[i].mode) != i)
            return false;
    return true;
}
static_assert(rowsInModeOrder(), "one mode row per mode, in the order of Mode");

// The image as a display shows it through the rendering: what a look or match analyses.
LoadedImage renderedImage(const LoadedImage& image, const LUTStack& rendering)
{
    return LoadedImage(image.url(), image.name(), image.image(), image.pixels().applying(rendering),
                       image.originalWidth(), image.originalHeight());
}

std::string formatted(double value)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

bool isExportSize(std::int64_t size)
{
    return std::find(exportSizes.begin(), exportSizes.end(), size) != exportSizes.end();
}

std::string Range::text() const { return formatted(lower) + "\u2026" + formatted(upper); }

const std::array<SlotRecipe, 7>& slots() { return slotTable; }

const SlotRecipe& recipe(Slot slot) { return slotTable[static_cast<std::size_t>(slot)]; }

Input load(Slot slot, const std::filesystem::path& file)
{
    if (!recipe(slot).holdsTable)
        return {ImageLoader::load(file, analysisPixelSize), nullptr};
    auto table = std::make_shared<const LUT3D>(
        HaldCLUT::lut(ImageLoader::loadExact(file, HaldCLUT::requiredLevel)));
    return {ImageLoader::load(file, haldThumbnailSize), std::move(table)};
}

bool Results::has(Mode mode) const
{
    switch (mode) {
    case Mode::look: return look.has_value();
    case Mode::match: return match.has_value();
    case Mode::edit: return edit.has_value();
    case Mode::hald: return hald != nullptr;
    }
    return false;
}

void Results::clear(Mode mode)
{
    switch (mode) {
    case Mode::look: look.reset(); break;
    case Mode::match: match.reset(); break;
    case Mode::edit:
        editSystem.reset();
        edit.reset();
        break;
    case Mode::hald: hald.reset(); break;
    }
}

void Results::store(Analysis analysis)
{
    struct Store {
        Results& results;
        void operator()(LookAnalysis&& value) { results.look = std::move(value); }
        void operator()(MatchAnalysis&& value) { results.match = std::move(value); }
        void operator()(EditAnalysis&& value)
        {
            results.editSystem = std::move(value.system);
            results.edit = std::move(value.fit);
        }
        void operator()(std::shared_ptr<const LUT3D>&& value) { results.hald = std::move(value); }
    };
    std::visit(Store{*this}, std::move(analysis));
}

bool ModeRecipe::uses(Slot slot) const
{
    return std::find(slots.begin(), slots.end(), slot) != slots.end();
}

const std::array<ModeRecipe, 4>& modes() { return modeTable; }

const ModeRecipe& recipe(Mode mode) { return modeTable[static_cast<std::size_t>(mode)]; }

std::optional<Mode> modeNamed(std::string_view id)
{
    for (const ModeRecipe& row : modeTable)
        if (row.id == id)
            return row.mode;
    return std::nullopt;
}

std::optional<Mode> modeOf(Slot slot)
{
    for (const ModeRecipe& row : modeTable)
        if (row.uses(slot))
            return row.mode;
    return std::nullopt;
}

Analysis analyse(Mode mode, std::span<const Input> inputs, const Settings& settings)
{
    return analyse(mode, inputs, settings, spacesOf(mode, settings));
}

Analysis analyse(Mode mode, std::span<const Input> inputs, const Settings& settings,
                 const SpaceConversion& spaces)
{
    const ModeRecipe& row = recipe(mode);
    LUMIVERT_PRECONDITION(inputs.size() == row.slots.size(),
                          "one input for every slot of the mode");
    if (!row.gradesRendered || spaces.isIdentity())
        return row.steps.analyse(inputs, settings);
    const LUTStack rendering = spaces.rendering(renderingLatticeSize);
    std::vector<Input> rendered;
    for (const Input& input : inputs)
        rendered.push_back({renderedImage(input.image, rendering), input.table});
    return row.steps.analyse(rendered, settings);
}

EditFit refit(const EditSystem& system, float smoothing, bool extendEdit)
{
    return EditLearner::solve(system, smoothing,
                              extendEdit ? EditPrior::overallEdit : EditPrior::noChange);
}

GradePipeline pipeline(Mode mode, const Results& results, const Settings& settings)
{
    Base base = recipe(mode).steps.base(results, settings);
    if (!base)
        base = std::make_shared<const IdentityTransform>();
    return GradePipeline(std::move(base), settings.intensity, settings.fineTune,
                         recipe(mode).mapsGamut ? settings.gamut : defaultGamutMapping);
}

std::optional<std::int64_t> resultTableSize(Mode mode, const Results& results)
{
    return recipe(mode).steps.tableSize(results);
}

SpaceConversion spacesOf(Mode mode, const Settings& settings)
{
    if (!spaceModes.contains(mode) ||
        (settings.inputSpace == ColorSpace::srgb && settings.outputSpace == ColorSpace::srgb))
        return {};
    return SpaceConversion::builtin(settings.inputSpace, settings.outputSpace);
}

LUTStack bake(Mode mode, const GradePipeline& pipeline, const SpaceConversion& spaces,
              std::int64_t size)
{
    // The plain bake keeps sRGB-to-sRGB tables exactly as they were.
    if (spaces.isIdentity())
        return LUTStack(pipeline.makeLUT(size));
    if (recipe(mode).gradesRendered)
        return spaces.graded(pipeline, size);
    // An edit's fit maps S to D directly, so its intensity blends from the conversion S → D
    // (which no change between the photos means), not from the S code values themselves; the
    // fine tune then works on the blend, as it does on every grade.
    const auto fromConversion = std::make_shared<const BlendedFrom>(
        spaces.conversion(size).bakedOnUnitDomain(size), pipeline.base(), pipeline.intensity());
    return LUTStack(
        GradePipeline(fromConversion, 1.0f, pipeline.fineTune(), pipeline.gamut()).makeLUT(size));
}

std::vector<std::string> spaceNotes(const SpaceConversion& spaces)
{
    if (spaces.isIdentity())
        return {};
    return {std::string(LUTWriter::inputNote) + spaces.inputTitle(),
            std::string(LUTWriter::outputNote) + spaces.outputTitle()};
}

std::optional<std::string> shaperDropped(const LUTStack& lut, const SpaceConversion& spaces,
                                         LUTFormat format)
{
    if (!lut.hasCurves() || format == LUTFormat::cube)
        return std::nullopt;
    return "A " + std::string(format.title()) + " file holds no shaper, so its table takes " +
           spaces.inputTitle() +
           " values from 0 to 1 on an even lattice: brighter values clip and shadows lose "
           "precision. Export a .cube for scene-linear footage.";
}

std::optional<std::string> suggestedName(Mode mode, const SlotNames& names)
{
    const ModeRecipe& row = recipe(mode);
    const auto name = nameIn(names, row.nameSlot);
    if (!name)
        return std::nullopt;
    return (name->empty() ? std::string(row.unnamed) : *name) + std::string(row.nameSuffix);
}

std::optional<std::string> statusLine(Mode mode, const Results& results, const SlotNames& names)
{
    return recipe(mode).steps.status(results, names);
}

const std::array<Choice, 2>& gamutMappings()
{
    static constexpr std::array<Choice, 2> rows{{
        {static_cast<std::uint8_t>(GamutMapping::preserveLightness), "preserve-lightness",
         "Preserve lightness",
         "Keeps each colour\u2019s lightness; bright saturated colours may lose their colour."},
        {static_cast<std::uint8_t>(GamutMapping::smooth), "smooth", "Highlight-safe colour",
         "Keeps bright saturated colours such as yellows colourful, trading a little lightness."},
    }};
    static_assert(rows[0].value == static_cast<std::uint8_t>(defaultGamutMapping),
                  "the default mapping comes first");
    static_assert(rows[1].value == static_cast<std::uint8_t>(GamutMapping::smooth),
                  "rows in the order of GamutMapping");
    return rows;
}

const Choice& recipe(GamutMapping mapping)
{
    return gamutMappings()[static_cast<std::size_t>(mapping)];
}

std::optional<GamutMapping> gamutNamed(std::string_view id)
{
    for (const Choice& row : gamutMappings())
        if (row.id == id)
            return static_cast<GamutMapping>(row.value);
    return std::nullopt;
}

}  // namespace lumivert::GradeRecipe
