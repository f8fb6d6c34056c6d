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

#include <algorithm>
#include <cstdio>
#include <memory>

namespace lumivert::GradeRecipe {

namespace {

using Base = std::shared_ptr<const ColorTransform>;

constexpr std::array<Slot, 1> lookSlots{Slot::lookReference};
constexpr std::array<Slot, 2> matchSlots{Slot::matchSource, Slot::matchReference};
constexpr std::array<Slot, 2> editSlots{Slot::editBefore, Slot::editAfter};
constexpr std::array<Slot, 1> haldSlots{Slot::hald};

const std::array<ModeRecipe, 4> modeTable{{
    {Mode::look, "look", "Look", lookSlots, Slot::lookReference, " Look", "Photo", false, true,
     false, true},
    {Mode::match, "match", "Match", matchSlots, Slot::matchReference, " Match", "Photo", true, true,
     false, true},
    {Mode::edit, "edit", "Before & After", editSlots, Slot::editAfter, " Edit", "Photo", true, true,
     false, false},
    {Mode::hald, "hald", "HALD", haldSlots, Slot::hald, "", "HALD", false, false, true, false},
}};

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

// How each mode turns its inputs into an analysis, and a result into its base transform and
// summary; indexed by the mode's raw value, in the order of modeTable.
struct Steps {
    Analysis (*analyse)(std::span<const Input> inputs, const Settings& settings);
    Base (*base)(const Results& results, const Settings& settings);
    std::optional<std::string> (*status)(const Results& results, const SlotNames& names);
    std::optional<std::int64_t> (*tableSize)(const Results& results);
};

std::optional<std::int64_t> noTable(const Results&) { return std::nullopt; }

std::optional<std::string> nameIn(const SlotNames& names, Slot slot)
{
    const auto found = names.find(slot);
    return found == names.end() ? std::nullopt : std::optional(found->second);
}

const std::array<Steps, 4> stepTable{{
    {[](std::span<const Input> inputs, const Settings&) -> Analysis {
         return LookExtractor::analyse(inputs[0].image.pixels());
     },
     [](const Results& results, const Settings& settings) -> Base {
         return results.look ? std::make_shared<const LookTransform>(*results.look, settings.look,
                                                                     settings.gamut)
                             : nullptr;
     },
     [](const Results& results, const SlotNames&) -> std::optional<std::string> {
         return results.look ? std::optional(StatusLine::look(*results.look)) : std::nullopt;
     },
     noTable},
    {[](std::span<const Input> inputs, const Settings&) -> Analysis {
         return ColorMatcher::analyse(inputs[0].image.pixels(), inputs[1].image.pixels());
     },
     [](const Results& results, const Settings& settings) -> Base {
         return results.match ? std::make_shared<const MatchTransform>(
                                    *results.match, settings.match, settings.gamut)
                              : nullptr;
     },
     [](const Results& results, const SlotNames& names) -> std::optional<std::string> {
         const auto source = nameIn(names, Slot::matchSource);
         const auto reference = nameIn(names, Slot::matchReference);
         if (!results.match || !source || !reference)
             return std::nullopt;
         return StatusLine::match(*source, *reference);
     },
     noTable},
    {[](std::span<const Input> inputs, const Settings& settings) -> Analysis {
         EditSystem system = EditLearner::prepare(inputs[0].image.pixels(),
                                                  inputs[1].image.pixels(), editLatticeSize);
         EditFit fit = refit(system, settings.smoothing, settings.extendEdit);
         return EditAnalysis{std::move(system), std::move(fit)};
     },
     [](const Results& results, const Settings&) -> Base {
         return results.edit ? std::make_shared<const LUT3D>(results.edit->lut) : nullptr;
     },
     [](const Results& results, const SlotNames&) -> std::optional<std::string> {
         if (!results.edit)
             return std::nullopt;
         return StatusLine::edit(results.edit->rmsError, results.edit->coverage,
                                 results.edit->followsOverallEdit);
     },
     // The fit is the learner's lattice, not a table the user made.
     noTable},
    {[](std::span<const Input> inputs, const Settings&) -> Analysis {
         LUMIVERT_PRECONDITION(inputs[0].table.has_value(), "a HALD input carries its table");
         return *inputs[0].table;
     },
     [](const Results& results, const Settings&) -> Base {
         return results.hald ? std::make_shared<const LUT3D>(*results.hald) : nullptr;
     },
     [](const Results& results, const SlotNames&) -> std::optional<std::string> {
         return results.hald ? std::optional(StatusLine::hald(results.hald->size())) : std::nullopt;
     },
     [](const Results& results) -> std::optional<std::int64_t> {
         return results.hald ? std::optional(results.hald->size()) : std::nullopt;
     }},
}};

const Steps& steps(Mode mode) { return stepTable[static_cast<std::size_t>(mode)]; }

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

const std::array<Strength<LookSettings>, 4>& lookStrengths()
{
    static const std::array<Strength<LookSettings>, 4> rows{{
        {"tone", "Tone", "Black lift, highlight roll-off and contrast", &LookSettings::tone},
        {"colourCast", "Colour cast", "The tint in shadows, mid-tones and highlights",
         &LookSettings::colourCast},
        {"saturation", "Colourfulness", "How muted or vivid the look is",
         &LookSettings::saturation},
        {"palette", "Palette", "Pulls hues towards the photo\u2019s dominant colours",
         &LookSettings::palette},
    }};
    return rows;
}

const std::array<Strength<MatchSettings>, 2>& matchStrengths()
{
    static const std::array<Strength<MatchSettings>, 2> rows{{
        {"tone", "Tone", "Match brightness and contrast", &MatchSettings::tone},
        {"colour", "Colour", "Match colour balance and saturation per tonal range",
         &MatchSettings::colour},
    }};
    return rows;
}

const std::array<Strength<FineTune>, 4>& fineTuneControls()
{
    static const std::array<Strength<FineTune>, 4> rows{{
        {"temperature", "Temperature", "", &FineTune::temperature},
        {"tint", "Tint", "", &FineTune::tint},
        {"contrast", "Contrast", "", &FineTune::contrast},
        {"saturation", "Saturation", "", &FineTune::saturation},
    }};
    return rows;
}

const std::array<SlotRecipe, 7>& slots() { return slotTable; }

const SlotRecipe& recipe(Slot slot) { return slotTable[static_cast<std::size_t>(slot)]; }

Input load(Slot slot, const std::filesystem::path& file)
{
    if (!recipe(slot).holdsTable)
        return {ImageLoader::load(file, analysisPixelSize), std::nullopt};
    LUT3D table = HaldCLUT::lut(ImageLoader::loadExact(file, HaldCLUT::requiredLevel));
    return {ImageLoader::load(file, haldThumbnailSize), std::move(table)};
}

bool Results::has(Mode mode) const
{
    switch (mode) {
    case Mode::look: return look.has_value();
    case Mode::match: return match.has_value();
    case Mode::edit: return edit.has_value();
    case Mode::hald: return hald.has_value();
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
        void operator()(LUT3D&& value) { results.hald = std::move(value); }
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
    LUMIVERT_PRECONDITION(inputs.size() == recipe(mode).slots.size(),
                          "one input for every slot of the mode");
    return steps(mode).analyse(inputs, settings);
}

EditFit refit(const EditSystem& system, float smoothing, bool extendEdit)
{
    return EditLearner::solve(system, smoothing,
                              extendEdit ? EditPrior::overallEdit : EditPrior::noChange);
}

GradePipeline pipeline(Mode mode, const Results& results, const Settings& settings)
{
    Base base = steps(mode).base(results, settings);
    if (!base)
        base = std::make_shared<const IdentityTransform>();
    return GradePipeline(std::move(base), settings.intensity, settings.fineTune,
                         recipe(mode).mapsGamut ? settings.gamut : GamutMapping::preserveLightness);
}

std::optional<std::int64_t> resultTableSize(Mode mode, const Results& results)
{
    return steps(mode).tableSize(results);
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
    return steps(mode).status(results, names);
}

const std::array<GamutRecipe, 2>& gamutMappings()
{
    static const std::array<GamutRecipe, 2> rows{{
        {GamutMapping::preserveLightness, "preserve-lightness", "Preserve lightness",
         "Keeps each colour\u2019s lightness; bright saturated colours may lose their colour."},
        {GamutMapping::smooth, "smooth", "Highlight-safe colour",
         "Keeps bright saturated colours such as yellows colourful, trading a little lightness."},
    }};
    return rows;
}

const GamutRecipe& recipe(GamutMapping mapping)
{
    for (const GamutRecipe& row : gamutMappings())
        if (row.mapping == mapping)
            return row;
    LUMIVERT_PRECONDITION(false, "every gamut mapping has a row");
    return gamutMappings().front();
}

std::optional<GamutMapping> gamutNamed(std::string_view id)
{
    for (const GamutRecipe& row : gamutMappings())
        if (row.id == id)
            return row.mapping;
    return std::nullopt;
}

}  // namespace lumivert::GradeRecipe
