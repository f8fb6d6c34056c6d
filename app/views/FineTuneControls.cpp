#include "FineTuneControls.hpp"

#include "AppModel.hpp"
#include "AppTypes.hpp"
#include "Theme.hpp"
#include "ValueSlider.hpp"

#include "color/Precondition.hpp"
#include "recipe/Adjustments.hpp"

#include <QCheckBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace lumivert {

namespace {

constexpr int sliderSpacing = 10;

// Each control's track, in the recipe's order of the fine-tune controls; empty: the accent fill.
const std::array<std::vector<QColor>, 4>& gradients()
{
    static const std::array<std::vector<QColor>, 4> table{{
        {QColor::fromRgbF(0.35f, 0.55f, 0.95f), QColor::fromRgbF(0.98f, 0.78f, 0.30f)},
        {QColor::fromRgbF(0.35f, 0.75f, 0.40f), QColor::fromRgbF(0.85f, 0.40f, 0.80f)},
        {},
        {QColor::fromRgbF(0.55f, 0.55f, 0.55f), QColor::fromRgbF(0.95f, 0.35f, 0.30f)},
    }};
    return table;
}

QString text(std::string_view raw) { return QString::fromUtf8(raw.data(), raw.size()); }

}  // namespace

FineTuneControls::FineTuneControls(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), resetButton_(new QToolButton(this)),
      highlightSafe_(new QCheckBox(this))
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(sliderSpacing);
    std::size_t next = 0;
    for (const GradeRecipe::Adjustment& row : GradeRecipe::adjustments()) {
        if (row.card != GradeRecipe::AdjustmentCard::fineTune)
            continue;
        if (row.kind == GradeRecipe::AdjustmentKind::choice) {
            choice_ = &row;
            continue;
        }
        for (const GradeRecipe::AdjustmentValue& value : row.values) {
            LUMIVERT_PRECONDITION(next < sliders_.size(), "a slider for every fine-tune value");
            auto* slider = new ValueSlider(text(value.title), row.range.lower, row.range.upper,
                                           value.defaultValue(), this);
            slider->setStep(row.step);
            slider->setGradient(gradients()[next]);
            slider->setFormat(signedText);
            connect(slider, &ValueSlider::valueEdited, this, [this, &value](double edited) {
                GradeRecipe::Settings settings = model_.settings();
                value.field(settings) = static_cast<float>(edited);
                model_.setSettings(settings);
            });
            stack->addWidget(slider);
            sliders_[next] = slider;
            values_[next++] = &value;
        }
    }
    LUMIVERT_PRECONDITION(next == sliders_.size() && choice_, "the fine-tune card's table rows");

    // The switch turns the second choice on: the first is the default.
    const GradeRecipe::Choice& on = choice_->choices.back();
    highlightSafe_->setText(text(on.title));
    highlightSafe_->setToolTip(text(on.help));
    connect(highlightSafe_, &QCheckBox::clicked, this, [this](bool checked) {
        GradeRecipe::Settings settings = model_.settings();
        choice_->choose(settings, checked ? choice_->choices.size() - 1 : 0);
        model_.setSettings(settings);
    });
    stack->addWidget(highlightSafe_);
    // Created before the sliders, the switch would come first in the Tab order; it sits below.
    setTabOrder(sliders_.back(), highlightSafe_);

    resetButton_->setText(QStringLiteral("Reset"));
    resetButton_->setAutoRaise(true);
    resetButton_->setFont(Theme::font(Theme::TextStyle::caption));
    resetButton_->setToolTip(QStringLiteral("Set all four fine-tune controls to 0"));
    connect(resetButton_, &QToolButton::clicked, this, [this] {
        GradeRecipe::Settings settings = model_.settings();
        for (const GradeRecipe::AdjustmentValue* value : values_)
            value->field(settings) = value->defaultValue();
        model_.setSettings(settings);
    });

    refresh();
    showGamutMapping();
    connect(&model_, &AppModel::settingsChanged, this, [this] {
        refresh();
        showGamutMapping();
    });
    connect(&model_, &AppModel::modeChanged, this, &FineTuneControls::showGamutMapping);
}

void FineTuneControls::showGamutMapping()
{
    highlightSafe_->setChecked(choice_->chosen(model_.settings()) != 0);
    // Only the modes the choice applies to map colours back; edits and HALDs reproduce theirs.
    highlightSafe_->setVisible(choice_->modes.contains(toRecipe(model_.mode())));
}

QString FineTuneControls::signedText(double value)
{
    const long rounded = std::lround(value * 100);
    return rounded >= 1 ? QLatin1Char('+') + QString::number(rounded) : QString::number(rounded);
}

void FineTuneControls::refresh()
{
    for (std::size_t i = 0; i < sliders_.size(); ++i)
        sliders_[i]->setValue(values_[i]->of(model_.settings()));
}

}  // namespace lumivert
