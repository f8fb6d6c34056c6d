#pragma once
// What the views show for each mode, slot and preview choice: symbols, descriptions and the
// empty-state texts. Symbol names are the catalogue names that Symbols::icon maps to icons.
#include "AppTypes.hpp"

#include <QString>

namespace lumivert::Presentation {

QString modeSymbol(Mode mode);
QString modeDescription(Mode mode);
QString emptyTitle(Mode mode);
QString emptyDescription(Mode mode);

QString slotSymbol(Slot slot);

// A title as the text of an action or button, where a lone "&" would mark a mnemonic.
QString actionText(const QString& title);

// "Look photo", "Your photo", "Before" or "Input" for the input; the fixed names otherwise.
QString previewSourceLabel(PreviewSource source, Mode mode);
// The icon a source's button shows when the row has no room for its label.
QString previewSourceSymbol(PreviewSource source, Mode mode);
QString compareStyleLabel(CompareStyle style);
QString compareStyleSymbol(CompareStyle style);
// What a style shows, for tooltips and assistive technology.
QString compareStyleHelp(CompareStyle style);

}  // namespace lumivert::Presentation
