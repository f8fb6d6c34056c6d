#include "FineTuneControls.hpp"

#include "AppModel.hpp"
#include "Theme.hpp"
#include "ValueSlider.hpp"

#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace lumivert {

namespace {

constexpr double rangeLower = -1;
constexpr double rangeUpper = 1;
constexpr int sliderSpacing = 10;

struct Row {
    const char* title;
    float FineTune::*field;
    std::vector<QColor> gradient;  // empty: the accent fill
};

const std::array<Row, 4>& rows()
{
    static const std::array<Row, 4> table{{
        {"Temperature",
         &FineTune::temperature,
         {QColor::fromRgbF(0.35f, 0.55f, 0.95f), QColor::fromRgbF(0.98f, 0.78f, 0.30f)}},
        {"Tint",
         &FineTune::tint,
         {QColor::fromRgbF(0.35f, 0.75f, 0.40f), QColor::fromRgbF(0.85f, 0.40f, 0.80f)}},
        {"Contrast", &FineTune::contrast, {}},
        {"Saturation",
         &FineTune::saturation,
         {QColor::fromRgbF(0.55f, 0.55f, 0.55f), QColor::fromRgbF(0.95f, 0.35f, 0.30f)}},
    }};
    return table;
}

}  // namespace

FineTuneControls::FineTuneControls(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), resetButton_(new QToolButton(this))
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(sliderSpacing);
    for (std::size_t i = 0; i < rows().size(); ++i) {
        const Row& row = rows()[i];
        auto* slider =
            new ValueSlider(QString::fromUtf8(row.title), rangeLower, rangeUpper, 0.0, this);
        slider->setGradient(row.gradient);
        slider->setFormat(signedText);
        const auto field = row.field;
        connect(slider, &ValueSlider::valueEdited, this, [this, field](double value) {
            FineTune fineTune = model_.fineTune();
            fineTune.*field = static_cast<float>(value);
            model_.setFineTune(fineTune);
        });
        stack->addWidget(slider);
        sliders_[i] = slider;
    }

    resetButton_->setText(QStringLiteral("Reset"));
    resetButton_->setAutoRaise(true);
    resetButton_->setFont(Theme::font(Theme::TextStyle::caption));
    resetButton_->setToolTip(QStringLiteral("Set all four fine-tune controls to 0"));
    connect(resetButton_, &QToolButton::clicked, this, [this] { model_.setFineTune(FineTune{}); });

    refresh();
    connect(&model_, &AppModel::fineTuneChanged, this, &FineTuneControls::refresh);
}

QString FineTuneControls::signedText(double value)
{
    const long rounded = std::lround(value * 100);
    return rounded >= 1 ? QLatin1Char('+') + QString::number(rounded) : QString::number(rounded);
}

void FineTuneControls::refresh()
{
    const FineTune& fineTune = model_.fineTune();
    for (std::size_t i = 0; i < rows().size(); ++i)
        sliders_[i]->setValue(fineTune.*(rows()[i].field));
}

}  // namespace lumivert
