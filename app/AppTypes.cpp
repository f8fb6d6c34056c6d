#include "AppTypes.hpp"

namespace lumivert {

namespace {

// Out of line: with the string scan inlined into every table, GCC 12 mistakes one table's
// bounds for another's (a false -Warray-bounds).
[[gnu::noinline]] QString text(const char* raw) { return QString::fromUtf8(raw); }

// One row per case, in declaration order, so a case's index is its row.
template <typename Enum, std::size_t N> struct CaseTable {
    struct Row {
        Enum value;
        const char* raw;
    };
    std::array<Row, N> rows;
    std::array<Enum, N> cases;

    constexpr CaseTable(std::array<Row, N> table) : rows(table), cases()
    {
        for (std::size_t row = 0; row < N; ++row)
            cases[row] = rows[row].value;
    }
    QString rawValue(Enum value) const { return text(rows[static_cast<std::size_t>(value)].raw); }
    std::optional<Enum> fromRawValue(const QString& rawValue) const
    {
        for (const Row& row : rows)
            if (rawValue == text(row.raw))
                return row.value;
        return std::nullopt;
    }
};

const CaseTable<Slot, 7> slotTable{{{{Slot::lookReference, "lookReference"},
                                     {Slot::matchSource, "matchSource"},
                                     {Slot::matchReference, "matchReference"},
                                     {Slot::editBefore, "editBefore"},
                                     {Slot::editAfter, "editAfter"},
                                     {Slot::hald, "hald"},
                                     {Slot::preview, "preview"}}}};

const std::array<const char*, 7> slotTitles{"Look photo", "Your photo",  "Reference look", "Before",
                                            "After",      "Graded HALD", "Preview photo"};

const std::array<const char*, 7> slotHints{
    "The image whose colours you want",      "The photo you want to change",
    "The photo whose look you want",         "The original, unedited photo",
    "The same photo after your edit",        "A HALD image you graded, e.g. 512 × 512",
    "Optional: see the LUT on another photo"};

const CaseTable<Mode, 4> modeTable{
    {{{Mode::look, "look"}, {Mode::match, "match"}, {Mode::edit, "edit"}, {Mode::hald, "hald"}}}};

const std::array<const char*, 4> modeTitles{"Look", "Match", "Before & After", "HALD"};

const CaseTable<PreviewSource, 3> previewSourceTable{{{{PreviewSource::input, "input"},
                                                       {PreviewSource::testChart, "testChart"},
                                                       {PreviewSource::photo, "photo"}}}};

const CaseTable<CompareStyle, 3> compareStyleTable{{{{CompareStyle::split, "split"},
                                                     {CompareStyle::original, "original"},
                                                     {CompareStyle::graded, "graded"}}}};

const CaseTable<ExportChoice, 4> exportChoiceTable{{{{ExportChoice::cube, "cube"},
                                                     {ExportChoice::threeDL, "threeDL"},
                                                     {ExportChoice::hald, "hald"},
                                                     {ExportChoice::all, "all"}}}};

}  // namespace

namespace Slots {
const std::array<Slot, 7>& allCases() { return slotTable.cases; }
QString rawValue(Slot slot) { return slotTable.rawValue(slot); }
std::optional<Slot> fromRawValue(const QString& raw) { return slotTable.fromRawValue(raw); }
QString title(Slot slot) { return QString::fromUtf8(slotTitles[static_cast<std::size_t>(slot)]); }
QString hint(Slot slot) { return QString::fromUtf8(slotHints[static_cast<std::size_t>(slot)]); }
QString loadKey(Slot slot) { return QStringLiteral("load-") + rawValue(slot); }
}  // namespace Slots

namespace Modes {
const std::array<Mode, 4>& allCases() { return modeTable.cases; }
QString rawValue(Mode mode) { return modeTable.rawValue(mode); }
std::optional<Mode> fromRawValue(const QString& raw) { return modeTable.fromRawValue(raw); }
QString title(Mode mode) { return QString::fromUtf8(modeTitles[static_cast<std::size_t>(mode)]); }
std::vector<Slot> slots(Mode mode)
{
    switch (mode) {
    case Mode::look: return {Slot::lookReference};
    case Mode::match: return {Slot::matchSource, Slot::matchReference};
    case Mode::edit: return {Slot::editBefore, Slot::editAfter};
    case Mode::hald: return {Slot::hald};
    }
    return {};
}
}  // namespace Modes

namespace PreviewSources {
const std::array<PreviewSource, 3>& allCases() { return previewSourceTable.cases; }
QString rawValue(PreviewSource source) { return previewSourceTable.rawValue(source); }
std::optional<PreviewSource> fromRawValue(const QString& raw)
{
    return previewSourceTable.fromRawValue(raw);
}
}  // namespace PreviewSources

namespace CompareStyles {
const std::array<CompareStyle, 3>& allCases() { return compareStyleTable.cases; }
QString rawValue(CompareStyle style) { return compareStyleTable.rawValue(style); }
std::optional<CompareStyle> fromRawValue(const QString& raw)
{
    return compareStyleTable.fromRawValue(raw);
}
}  // namespace CompareStyles

namespace ExportChoices {
const std::array<ExportChoice, 4>& allCases() { return exportChoiceTable.cases; }
QString rawValue(ExportChoice choice) { return exportChoiceTable.rawValue(choice); }
std::optional<ExportChoice> fromRawValue(const QString& raw)
{
    return exportChoiceTable.fromRawValue(raw);
}
}  // namespace ExportChoices

}  // namespace lumivert
