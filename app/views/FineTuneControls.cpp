#include "FineTuneControls.hpp"

#include "AppModel.hpp"
#include "AppTypes.hpp"
#include "Theme.hpp"
#include "ValueSlider.hpp"

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

}  // namespace

FineTuneControls::FineTuneControls(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), resetButton_(new QToolButton(this)),
      highlightSafe_(new QCheckBox(this))
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(sliderSpacing);
    const GradeRecipe::Range& range = GradeRecipe::fineTuneRange;
    for (std::size_t i = 0; i < GradeRecipe::fineTuneControls().size(); ++i) {
        const auto& control = GradeRecipe::fineTuneControls()[i];
        auto* slider = new ValueSlider(
            QString::fromUtf8(control.title.data(), static_cast<qsizetype>(control.title.size())),
            range.lower, range.upper, range.defaultValue, this);
        slider->setGradient(gradients()[i]);
        slider->setFormat(signedText);
        const auto field = control.field;
        connect(slider, &ValueSlider::valueEdited, this, [this, field](double value) {
            FineTune fineTune = model_.fineTune();
            fineTune.*field = static_cast<float>(value);
            model_.setFineTune(fineTune);
        });
        stack->addWidget(slider);
        sliders_[i] = slider;
    }

    const GradeRecipe::GamutRecipe& smooth = GradeRecipe::recipe(GamutMapping::smooth);
    highlightSafe_->setText(
        QString::fromUtf8(smooth.title.data(), static_cast<qsizetype>(smooth.title.size())));
    highlightSafe_->setToolTip(
        QString::fromUtf8(smooth.help.data(), static_cast<qsizetype>(smooth.help.size())));
    connect(highlightSafe_, &QCheckBox::clicked, this, [this](bool on) {
        model_.setGamutMapping(on ? GamutMapping::smooth : GamutMapping::preserveLightness);
    });
    stack->addWidget(highlightSafe_);

    resetButton_->setText(QStringLiteral("Reset"));
    resetButton_->setAutoRaise(true);
    resetButton_->setFont(Theme::font(Theme::TextStyle::caption));
    resetButton_->setToolTip(QStringLiteral("Set all four fine-tune controls to 0"));
    connect(resetButton_, &QToolButton::clicked, this, [this] { model_.setFineTune(FineTune{}); });

    refresh();
    showGamutMapping();
    connect(&model_, &AppModel::fineTuneChanged, this, &FineTuneControls::refresh);
    connect(&model_, &AppModel::gamutMappingChanged, this, &FineTuneControls::showGamutMapping);
    connect(&model_, &AppModel::modeChanged, this, &FineTuneControls::showGamutMapping);
}

void FineTuneControls::showGamutMapping()
{
    highlightSafe_->setChecked(model_.gamutMapping() == GamutMapping::smooth);
    // Edits and HALDs reproduce their colours as they are; only looks and matches map them.
    highlightSafe_->setVisible(GradeRecipe::recipe(toRecipe(model_.mode())).mapsGamut);
}

QString FineTuneControls::signedText(double value)
{
    const long rounded = std::lround(value * 100);
    return rounded >= 1 ? QLatin1Char('+') + QString::number(rounded) : QString::number(rounded);
}

void FineTuneControls::refresh()
{
    const FineTune& fineTune = model_.fineTune();
    for (std::size_t i = 0; i < GradeRecipe::fineTuneControls().size(); ++i)
        sliders_[i]->setValue(fineTune.*(GradeRecipe::fineTuneControls()[i].field));
}

}  // namespace lumivert
