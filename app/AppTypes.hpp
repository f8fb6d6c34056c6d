#pragma once
// The enumerations and small records the application model and its views share. Every
// enumeration is listed in its display order by allCases(), and round-trips through its raw
// value, the string that the defaults store and the automation variables use.
#include "recipe/ExportPlan.hpp"
#include "recipe/GradeRecipe.hpp"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <array>
#include <optional>
#include <vector>

namespace lumivert {
// The enumerations are known to Qt's meta-object system, so properties of these types can be
// read and written by name (QObject::property, the automation, item views).
Q_NAMESPACE

// An image slot: one place that holds one image.
enum class Slot {
    lookReference,
    matchSource,
    matchReference,
    editBefore,
    editAfter,
    hald,
    preview
};
Q_ENUM_NS(Slot)

// The four ways of making a LUT.
enum class Mode { look, match, edit, hald };
Q_ENUM_NS(Mode)

// What the preview shows: the mode's own input, the built-in chart or the preview photo.
enum class PreviewSource { input, testChart, photo };
Q_ENUM_NS(PreviewSource)

// How the preview compares the original with the graded image; difference shows the per-pixel
// ΔE2000 between the graded image and what it should match; sideBySide shows both whole, in two
// halves that zoom and pan together.
enum class CompareStyle { split, original, graded, difference, sideBySide };
Q_ENUM_NS(CompareStyle)

// Which files an export writes.
enum class ExportChoice { cube, threeDL, hald, all, clf, csp, spi3d, icc };
Q_ENUM_NS(ExportChoice)

namespace Slots {
const std::array<Slot, 7>& allCases();
QString rawValue(Slot slot);
std::optional<Slot> fromRawValue(const QString& rawValue);
QString title(Slot slot);
QString hint(Slot slot);
}  // namespace Slots

namespace Modes {
const std::array<Mode, 4>& allCases();
QString rawValue(Mode mode);
std::optional<Mode> fromRawValue(const QString& rawValue);
QString title(Mode mode);
// The mode's input slots, key input first.
std::vector<Slot> slots(Mode mode);
}  // namespace Modes

// The grade recipe's slots and modes are these, in the same order: one cast maps them.
constexpr GradeRecipe::Slot toRecipe(Slot slot) { return static_cast<GradeRecipe::Slot>(slot); }
constexpr Slot fromRecipe(GradeRecipe::Slot slot) { return static_cast<Slot>(slot); }
constexpr GradeRecipe::Mode toRecipe(Mode mode) { return static_cast<GradeRecipe::Mode>(mode); }
constexpr Mode fromRecipe(GradeRecipe::Mode mode) { return static_cast<Mode>(mode); }

static_assert(toRecipe(Slot::lookReference) == GradeRecipe::Slot::lookReference);
static_assert(toRecipe(Slot::matchSource) == GradeRecipe::Slot::matchSource);
static_assert(toRecipe(Slot::matchReference) == GradeRecipe::Slot::matchReference);
static_assert(toRecipe(Slot::editBefore) == GradeRecipe::Slot::editBefore);
static_assert(toRecipe(Slot::editAfter) == GradeRecipe::Slot::editAfter);
static_assert(toRecipe(Slot::hald) == GradeRecipe::Slot::hald);
static_assert(toRecipe(Slot::preview) == GradeRecipe::Slot::preview);
static_assert(toRecipe(Mode::look) == GradeRecipe::Mode::look);
static_assert(toRecipe(Mode::match) == GradeRecipe::Mode::match);
static_assert(toRecipe(Mode::edit) == GradeRecipe::Mode::edit);
static_assert(toRecipe(Mode::hald) == GradeRecipe::Mode::hald);

namespace PreviewSources {
const std::array<PreviewSource, 3>& allCases();
QString rawValue(PreviewSource source);
std::optional<PreviewSource> fromRawValue(const QString& rawValue);
}  // namespace PreviewSources

namespace CompareStyles {
const std::array<CompareStyle, 5>& allCases();
QString rawValue(CompareStyle style);
std::optional<CompareStyle> fromRawValue(const QString& rawValue);
}  // namespace CompareStyles

namespace ExportChoices {
const std::array<ExportChoice, 8>& allCases();
QString rawValue(ExportChoice choice);
std::optional<ExportChoice> fromRawValue(const QString& rawValue);
}  // namespace ExportChoices

// The export plan's choices are these, in the same order.
constexpr ExportPlan::ExportChoice toPlan(ExportChoice choice)
{
    return static_cast<ExportPlan::ExportChoice>(choice);
}

static_assert(toPlan(ExportChoice::cube) == ExportPlan::ExportChoice::cube);
static_assert(toPlan(ExportChoice::threeDL) == ExportPlan::ExportChoice::threeDL);
static_assert(toPlan(ExportChoice::hald) == ExportPlan::ExportChoice::hald);
static_assert(toPlan(ExportChoice::all) == ExportPlan::ExportChoice::all);
static_assert(toPlan(ExportChoice::clf) == ExportPlan::ExportChoice::clf);
static_assert(toPlan(ExportChoice::csp) == ExportPlan::ExportChoice::csp);
static_assert(toPlan(ExportChoice::spi3d) == ExportPlan::ExportChoice::spi3d);
static_assert(toPlan(ExportChoice::icc) == ExportPlan::ExportChoice::icc);

// The tint of the preview LUT at one grey level: "S", "M" or "H".
// The array members are also properties as lists of numbers, which QVariant carries.
struct TintDot {
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id)
    Q_PROPERTY(QVariantList ab READ abList)
    Q_PROPERTY(QVariantList colour READ colourList)

public:
    QVariantList abList() const { return {ab[0], ab[1]}; }
    QVariantList colourList() const { return {colour[0], colour[1], colour[2]}; }

    QString id;
    std::array<float, 2> ab{};      // Oklab a and b of the LUT's output for the grey
    std::array<float, 3> colour{};  // that output, sRGB-encoded
    friend bool operator==(const TintDot&, const TintDot&) = default;
};

// A transient confirmation; with a url the view offers to reveal the file.
// The optional url is a property as an empty QUrl when absent.
struct Toast {
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id)
    Q_PROPERTY(QString message MEMBER message)
    Q_PROPERTY(QUrl url READ urlOrEmpty)
    Q_PROPERTY(bool hasUrl READ hasUrl)

public:
    QUrl urlOrEmpty() const { return url.value_or(QUrl()); }
    bool hasUrl() const { return url.has_value(); }

    QUuid id;
    QString message;
    std::optional<QUrl> url;
    friend bool operator==(const Toast&, const Toast&) = default;
};

// One error shown by the window.
struct AlertInfo {
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id)
    Q_PROPERTY(QString title MEMBER title)
    Q_PROPERTY(QString message MEMBER message)

public:
    QUuid id;
    QString title;
    QString message;
    friend bool operator==(const AlertInfo&, const AlertInfo&) = default;
};

}  // namespace lumivert
