#pragma once
// The strengths of the current mode (the inspector's first card): look, match or smoothing
// sliders, then "Intensity" in every mode. The sliders are rebuilt when the mode changes and
// follow the model's settings; every user change goes through the model's setters. In edit mode a
// switch below the sliders extends the edit to colours not in the photos; a choice of many values
// (the input and output colour spaces) is a menu under its title, below the switch.
#include "AppTypes.hpp"

#include "recipe/Adjustments.hpp"

#include <QString>
#include <QWidget>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;

namespace lumivert {

class AppModel;
class ValueSlider;

// The smoothing slider spans smoothness 0.001 to 0.5 logarithmically.
namespace Smoothing {
// p = ln(s / 0.001) / ln(500)
double position(double smoothness);
// s = 0.001 × 500^p
double smoothness(double position);
// "Fine" below 0.34, "Balanced" below 0.67, "Smooth" otherwise.
QString text(double position);
}  // namespace Smoothing

class ModeControls : public QWidget {
    Q_OBJECT

public:
    explicit ModeControls(AppModel& model, QWidget* parent = nullptr);

    Mode builtFor() const { return builtFor_; }
    const std::vector<ValueSlider*>& sliders() const { return sliders_; }
    // The slider with this title, or null.
    ValueSlider* slider(const QString& title) const;
    // "Extend to colours not in the photos": null outside edit mode.
    QCheckBox* extendSwitch() const { return extendSwitch_; }
    // The menu of the choice with this title ("Input space"), or null.
    QComboBox* menu(const QString& title) const;

private:
    // Which value of which adjustment a slider shows.
    struct Binding {
        const GradeRecipe::Adjustment* adjustment;
        const GradeRecipe::AdjustmentValue* value;
    };

    void rebuild();
    void addSlider(const GradeRecipe::Adjustment& row, const GradeRecipe::AdjustmentValue& value);
    void addMenu(const GradeRecipe::Adjustment& row);
    void refresh();

    // A choice's title and menu.
    struct Menu {
        const GradeRecipe::Adjustment* adjustment;
        QLabel* title;
        QComboBox* box;
    };

    AppModel& model_;
    Mode builtFor_;
    std::vector<ValueSlider*> sliders_;
    std::vector<Binding> bound_;  // one per slider
    QCheckBox* extendSwitch_ = nullptr;
    const GradeRecipe::Adjustment* toggle_ = nullptr;
    std::vector<Menu> menus_;
};

}  // namespace lumivert
