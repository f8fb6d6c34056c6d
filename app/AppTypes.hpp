#pragma once
// The enumerations and small records the application model and its views share. Every
// enumeration is listed in its display order by allCases(), and round-trips through its raw
// value, the string that the defaults store and the automation variables use.
#include <QString>
#include <QUrl>
#include <QUuid>

#include <array>
#include <optional>
#include <vector>

namespace lumivert {

class LUTFormat;

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

// The four ways of making a LUT.
enum class Mode { look, match, edit, hald };

// What the preview shows: the mode's own input, the built-in chart or the preview photo.
enum class PreviewSource { input, testChart, photo };

// How the preview compares the original with the graded image.
enum class CompareStyle { split, original, graded };

// Which files an export writes.
enum class ExportChoice { cube, threeDL, hald, all };

namespace Slots {
const std::array<Slot, 7>& allCases();
QString rawValue(Slot slot);
std::optional<Slot> fromRawValue(const QString& rawValue);
QString title(Slot slot);
QString hint(Slot slot);
// "load-" and the raw value: the slot's generation key.
QString loadKey(Slot slot);
}  // namespace Slots

namespace Modes {
const std::array<Mode, 4>& allCases();
QString rawValue(Mode mode);
std::optional<Mode> fromRawValue(const QString& rawValue);
QString title(Mode mode);
// The mode's input slots, key input first.
std::vector<Slot> slots(Mode mode);
}  // namespace Modes

namespace PreviewSources {
const std::array<PreviewSource, 3>& allCases();
QString rawValue(PreviewSource source);
std::optional<PreviewSource> fromRawValue(const QString& rawValue);
}  // namespace PreviewSources

namespace CompareStyles {
const std::array<CompareStyle, 3>& allCases();
QString rawValue(CompareStyle style);
std::optional<CompareStyle> fromRawValue(const QString& rawValue);
}  // namespace CompareStyles

namespace ExportChoices {
const std::array<ExportChoice, 4>& allCases();
QString rawValue(ExportChoice choice);
std::optional<ExportChoice> fromRawValue(const QString& rawValue);
// The formats an export writes, in writing order.
std::vector<LUTFormat> formats(ExportChoice choice);
}  // namespace ExportChoices

// The tint of the preview LUT at one grey level: "S", "M" or "H".
struct TintDot {
    QString id;
    std::array<float, 2> ab{};      // Oklab a and b of the LUT's output for the grey
    std::array<float, 3> colour{};  // that output, sRGB-encoded
    friend bool operator==(const TintDot&, const TintDot&) = default;
};

// A transient confirmation; with a url the view offers to reveal the file.
struct Toast {
    QUuid id;
    QString message;
    std::optional<QUrl> url;
    friend bool operator==(const Toast&, const Toast&) = default;
};

// One error shown by the window.
struct AlertInfo {
    QUuid id;
    QString title;
    QString message;
    friend bool operator==(const AlertInfo&, const AlertInfo&) = default;
};

}  // namespace lumivert
