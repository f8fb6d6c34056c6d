#include "Presentation.hpp"

#include <array>

namespace lumivert::Presentation {

namespace {

struct ModeTexts {
    const char* symbol;
    const char* description;
    const char* emptyTitle;
    const char* emptyDescription;
    const char* inputLabel;
};

// In Mode's declaration order: look, match, edit, hald.
const std::array<ModeTexts, 4> modeTexts{{
    {"camera.filters", "Capture a photo’s colour grade", "Drop a photo with the look you want",
     "Lumivert reads its tones, colour cast, colourfulness and palette, and turns them into a "
     "LUT you can use on any photo.",
     "Look photo"},
    {"circle.lefthalf.filled", "Match your photo to a reference", "Drop your photo and a reference",
     "The LUT makes your photo’s tones and colours follow the reference, shadows, mid-tones and "
     "highlights separately.",
     "Your photo"},
    {"square.split.2x1", "Learn an edit you already made",
     "Drop the original and your edited version",
     "Use the same photo before and after a global edit. Lumivert learns the exact colour change "
     "as a LUT.",
     "Before"},
    {"square.grid.3x3.square", "Convert a graded HALD image", "Drop a graded HALD image",
     "Save an identity HALD, grade it in any editor with adjustment layers only, then drop the "
     "result here.",
     "Input"},
}};

// In Slot's declaration order.
const std::array<const char*, 7> slotSymbols{
    "photo.badge.plus", "photo",           "paintpalette", "photo",
    "wand.and.stars",   "square.grid.3x3", "eye"};

struct StyleTexts {
    const char* label;
    const char* symbol;
    const char* help;
};
// In CompareStyle's declaration order.
const std::array<StyleTexts, 5> styleTexts{{
    {"Split", "rectangle.split.2x1",
     "The original left of a line you drag, the graded photo right"},
    {"Original", "photo", "The photo without the LUT"},
    {"With LUT", "camera.filters", "The photo through the LUT"},
    {"Difference", "difference", "How far the graded photo is from its target, as a heat map"},
    {"Side by side", "side.by.side",
     "The original and the graded photo whole, side by side, zoomed and moved together"},
}};

const ModeTexts& texts(Mode mode) { return modeTexts[static_cast<std::size_t>(mode)]; }

}  // namespace

QString modeSymbol(Mode mode) { return QString::fromUtf8(texts(mode).symbol); }
QString modeDescription(Mode mode) { return QString::fromUtf8(texts(mode).description); }
QString emptyTitle(Mode mode) { return QString::fromUtf8(texts(mode).emptyTitle); }
QString emptyDescription(Mode mode) { return QString::fromUtf8(texts(mode).emptyDescription); }

QString slotSymbol(Slot slot)
{
    return QString::fromUtf8(slotSymbols[static_cast<std::size_t>(slot)]);
}

QString previewSourceLabel(PreviewSource source, Mode mode)
{
    switch (source) {
    case PreviewSource::input: return QString::fromUtf8(texts(mode).inputLabel);
    case PreviewSource::testChart: return QStringLiteral("Test chart");
    case PreviewSource::photo: break;
    }
    return QStringLiteral("Preview photo");
}

QString previewSourceSymbol(PreviewSource source, Mode mode)
{
    switch (source) {
    case PreviewSource::input: return slotSymbol(Modes::slots(mode).front());
    case PreviewSource::testChart: return QStringLiteral("paintpalette");
    case PreviewSource::photo: break;
    }
    return slotSymbol(Slot::preview);
}

QString compareStyleLabel(CompareStyle style)
{
    return QString::fromUtf8(styleTexts[static_cast<std::size_t>(style)].label);
}

QString compareStyleSymbol(CompareStyle style)
{
    return QString::fromUtf8(styleTexts[static_cast<std::size_t>(style)].symbol);
}

QString compareStyleHelp(CompareStyle style)
{
    return QString::fromUtf8(styleTexts[static_cast<std::size_t>(style)].help);
}

QString actionText(const QString& title)
{
    QString text = title;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace lumivert::Presentation
