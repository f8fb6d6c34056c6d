#include "AppTypes.hpp"

#include <tuple>

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

QString text(std::string_view raw) { return QString::fromUtf8(raw.data(), raw.size()); }

// The core's rows in the core's order, which is the enumeration's.
template <typename Enum, typename Rows>
std::array<Enum, std::tuple_size_v<Rows>> casesOf(const Rows&)
{
    std::array<Enum, std::tuple_size_v<Rows>> cases{};
    for (std::size_t row = 0; row < cases.size(); ++row)
        cases[row] = static_cast<Enum>(row);
    return cases;
}

template <typename Enum, typename Rows>
std::optional<Enum> caseNamed(const Rows& rows, const QString& rawValue)
{
    for (std::size_t row = 0; row < rows.size(); ++row)
        if (rawValue == text(rows[row].id))
            return static_cast<Enum>(row);
    return std::nullopt;
}

const std::array<Slot, 7> slotCases = casesOf<Slot>(GradeRecipe::slots());
const std::array<Mode, 4> modeCases = casesOf<Mode>(GradeRecipe::modes());

const CaseTable<PreviewSource, 3> previewSourceTable{{{{PreviewSource::input, "input"},
                                                       {PreviewSource::testChart, "testChart"},
                                                       {PreviewSource::photo, "photo"}}}};

const CaseTable<CompareStyle, 5> compareStyleTable{{{{CompareStyle::split, "split"},
                                                     {CompareStyle::original, "original"},
                                                     {CompareStyle::graded, "graded"},
                                                     {CompareStyle::difference, "difference"},
                                                     {CompareStyle::sideBySide, "sideBySide"}}}};

const std::array<ExportChoice, 8> exportChoiceCases = casesOf<ExportChoice>(ExportPlan::choices());

}  // namespace

namespace Slots {
const std::array<Slot, 7>& allCases() { return slotCases; }
QString rawValue(Slot slot) { return text(GradeRecipe::recipe(toRecipe(slot)).id); }
std::optional<Slot> fromRawValue(const QString& raw)
{
    return caseNamed<Slot>(GradeRecipe::slots(), raw);
}
QString title(Slot slot) { return text(GradeRecipe::recipe(toRecipe(slot)).title); }
QString hint(Slot slot) { return text(GradeRecipe::recipe(toRecipe(slot)).hint); }
}  // namespace Slots

namespace Modes {
const std::array<Mode, 4>& allCases() { return modeCases; }
QString rawValue(Mode mode) { return text(GradeRecipe::recipe(toRecipe(mode)).id); }
std::optional<Mode> fromRawValue(const QString& raw)
{
    return caseNamed<Mode>(GradeRecipe::modes(), raw);
}
QString title(Mode mode) { return text(GradeRecipe::recipe(toRecipe(mode)).title); }
std::vector<Slot> slots(Mode mode)
{
    std::vector<Slot> slots;
    for (GradeRecipe::Slot slot : GradeRecipe::recipe(toRecipe(mode)).slots)
        slots.push_back(fromRecipe(slot));
    return slots;
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
const std::array<CompareStyle, 5>& allCases() { return compareStyleTable.cases; }
QString rawValue(CompareStyle style) { return compareStyleTable.rawValue(style); }
std::optional<CompareStyle> fromRawValue(const QString& raw)
{
    return compareStyleTable.fromRawValue(raw);
}
}  // namespace CompareStyles

namespace ExportChoices {
const std::array<ExportChoice, 8>& allCases() { return exportChoiceCases; }
QString rawValue(ExportChoice choice) { return text(ExportPlan::recipe(toPlan(choice)).rawValue); }
std::optional<ExportChoice> fromRawValue(const QString& raw)
{
    const auto choice = ExportPlan::choiceFromRawValue(raw.toStdString());
    return choice ? std::optional(static_cast<ExportChoice>(*choice)) : std::nullopt;
}
}  // namespace ExportChoices

}  // namespace lumivert
