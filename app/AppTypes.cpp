#include "AppTypes.hpp"

#include <algorithm>

namespace lumivert {

namespace {

// One row per case, in declaration order, so a case's index is its row.
template <typename Enum, std::size_t N>
struct CaseTable {
    std::array<Enum, N> cases;
    std::array<const char*, N> rawValues;

    QString rawValue(Enum value) const
    {
        return QString::fromUtf8(rawValues[static_cast<std::size_t>(value)]);
    }
    std::optional<Enum> fromRawValue(const QString& rawValue) const
    {
        const auto found = std::find_if(rawValues.begin(), rawValues.end(),
                                        [&](const char* raw) { return rawValue == raw; });
        if (found == rawValues.end())
            return std::nullopt;
        return cases[static_cast<std::size_t>(found - rawValues.begin())];
    }
};

const CaseTable<Slot, 7> slotTable{
    {Slot::lookReference, Slot::matchSource, Slot::matchReference, Slot::editBefore,
     Slot::editAfter, Slot::hald, Slot::preview},
    {"lookReference", "matchSource", "matchReference", "editBefore", "editAfter", "hald",
     "preview"}};

const std::array<const char*, 7> slotTitles{"Look photo",  "Your photo",  "Reference look",
                                            "Before",      "After",       "Graded HALD",
                                            "Preview photo"};

const std::array<const char*, 7> slotHints{
    "The image whose colours you want",
    "The photo you want to change",
    "The photo whose look you want",
    "The original, unedited photo",
    "The same photo after your edit",
    "A HALD image you graded, e.g. 512 × 512",
    "Optional: see the LUT on another photo"};

const CaseTable<Mode, 4> modeTable{{Mode::look, Mode::match, Mode::edit, Mode::hald},
                                   {"look", "match", "edit", "hald"}};

const std::array<const char*, 4> modeTitles{"Look", "Match", "Before & After", "HALD"};

const CaseTable<PreviewSource, 3> previewSourceTable{
    {PreviewSource::input, PreviewSource::testChart, PreviewSource::photo},
    {"input", "testChart", "photo"}};

const CaseTable<CompareStyle, 3> compareStyleTable{
    {CompareStyle::split, CompareStyle::original, CompareStyle::graded},
    {"split", "original", "graded"}};

const CaseTable<ExportChoice, 4> exportChoiceTable{
    {ExportChoice::cube, ExportChoice::threeDL, ExportChoice::hald, ExportChoice::all},
    {"cube", "threeDL", "hald", "all"}};

} // namespace

namespace Slots {
const std::array<Slot, 7>& allCases() { return slotTable.cases; }
QString rawValue(Slot slot) { return slotTable.rawValue(slot); }
std::optional<Slot> fromRawValue(const QString& raw) { return slotTable.fromRawValue(raw); }
QString title(Slot slot) { return QString::fromUtf8(slotTitles[static_cast<std::size_t>(slot)]); }
QString hint(Slot slot) { return QString::fromUtf8(slotHints[static_cast<std::size_t>(slot)]); }
QString loadKey(Slot slot) { return QStringLiteral("load-") + rawValue(slot); }
} // namespace Slots

namespace Modes {
const std::array<Mode, 4>& allCases() { return modeTable.cases; }
QString rawValue(Mode mode) { return modeTable.rawValue(mode); }
std::optional<Mode> fromRawValue(const QString& raw) { return modeTable.fromRawValue(raw); }
QString title(Mode mode) { return QString::fromUtf8(modeTitles[static_cast<std::size_t>(mode)]); }
std::vector<Slot> slots(Mode mode)
{
    switch (mode) {
    case Mode::look:
        return {Slot::lookReference};
    case Mode::match:
        return {Slot::matchSource, Slot::matchReference};
    case Mode::edit:
        return {Slot::editBefore, Slot::editAfter};
    case Mode::hald:
        return {Slot::hald};
    }
    return {};
}
} // namespace Modes

namespace PreviewSources {
const std::array<PreviewSource, 3>& allCases() { return previewSourceTable.cases; }
QString rawValue(PreviewSource source) { return previewSourceTable.rawValue(source); }
std::optional<PreviewSource> fromRawValue(const QString& raw)
{
    return previewSourceTable.fromRawValue(raw);
}
} // namespace PreviewSources

namespace CompareStyles {
const std::array<CompareStyle, 3>& allCases() { return compareStyleTable.cases; }
QString rawValue(CompareStyle style) { return compareStyleTable.rawValue(style); }
std::optional<CompareStyle> fromRawValue(const QString& raw)
{
    return compareStyleTable.fromRawValue(raw);
}
} // namespace CompareStyles

namespace ExportChoices {
const std::array<ExportChoice, 4>& allCases() { return exportChoiceTable.cases; }
QString rawValue(ExportChoice choice) { return exportChoiceTable.rawValue(choice); }
std::optional<ExportChoice> fromRawValue(const QString& raw)
{
    return exportChoiceTable.fromRawValue(raw);
}
} // namespace ExportChoices

} // namespace lumivert
