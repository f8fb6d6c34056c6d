#pragma once
// The four fine-tune sliders (temperature, tint, contrast, saturation, each −1 to 1), the
// highlight-safe colour switch of look and match modes, and the "Reset" button that the
// fine-tune card shows in its header.
#include "recipe/Adjustments.hpp"

#include <QString>
#include <QWidget>

#include <array>

class QCheckBox;
class QToolButton;

namespace lumivert {

class AppModel;
class ValueSlider;

class FineTuneControls : public QWidget {
    Q_OBJECT

public:
    explicit FineTuneControls(AppModel& model, QWidget* parent = nullptr);

    const std::array<ValueSlider*, 4>& sliders() const { return sliders_; }
    // Created here, placed by the owner (the card's header); sets all four values to 0.
    QToolButton* resetButton() const { return resetButton_; }
    // Checked: the cusp-aware gamut mapping. Shown only where the grade maps colours back.
    QCheckBox* highlightSafe() const { return highlightSafe_; }

    // round(value × 100), with "+" in front of 1 and above and no percent sign.
    static QString signedText(double value);

private:
    void refresh();
    void showGamutMapping();

    AppModel& model_;
    std::array<ValueSlider*, 4> sliders_{};
    std::array<const GradeRecipe::AdjustmentValue*, 4> values_{};  // what each slider sets
    const GradeRecipe::Adjustment* choice_ = nullptr;              // the switch's
    QToolButton* resetButton_;
    QCheckBox* highlightSafe_;
};

}  // namespace lumivert
