#include "ModeControls.hpp"

#include "AppModel.hpp"
#include "ValueSlider.hpp"

#include <QCheckBox>
#include <QVBoxLayout>

#include <cmath>
#include <functional>

namespace lumivert {

namespace {

// The smoothing slider's ends are the recipe's range, spread logarithmically.
const double minimumSmoothness = GradeRecipe::smoothingRange.lower;
const double smoothnessSpan = GradeRecipe::smoothingRange.upper / minimumSmoothness;
constexpr double fineBelow = 0.34;
constexpr double balancedBelow = 0.67;
constexpr int sliderSpacing = 10;

// One slider of the table: its texts, range and how it reads and writes the model.
struct Row {
    QString title;
    double upper;
    double defaultValue;
    QString help;  // empty: none
    std::function<double(const AppModel&)> read;
    std::function<void(AppModel&, double)> write;
    QString (*format)(double);  // null: percent
};

QString text(std::string_view raw) { return QString::fromUtf8(raw.data(), raw.size()); }

// A strength of the look or match settings, as the recipe describes it.
template <typename Settings>
Row strengthRow(const GradeRecipe::Strength<Settings>& strength,
                const Settings& (AppModel::*get)() const, void (AppModel::*set)(const Settings&))
{
    const auto field = strength.field;
    return {text(strength.title),
            GradeRecipe::strengthRange.upper,
            strength.defaultValue(),
            text(strength.help),
            [get, field](const AppModel& m) { return static_cast<double>((m.*get)().*field); },
            [get, set, field](AppModel& m, double v) {
                Settings settings = (m.*get)();
                settings.*field = static_cast<float>(v);
                (m.*set)(settings);
            },
            nullptr};
}

// A position that maps to the stored smoothness changes nothing, so it must not start a
// re-solve; the second test covers positions read from a smoothness that the slider did not
// set, whose round trip may differ in the last bit.
void writeSmoothing(AppModel& model, double position)
{
    const double smoothness = Smoothing::smoothness(position);
    if (smoothness == model.editSmoothness() ||
        position == Smoothing::position(model.editSmoothness()))
        return;
    model.setEditSmoothness(smoothness);
}

Row smoothingRow()
{
    return {QStringLiteral("Smoothing"),
            1.0,
            Smoothing::position(GradeRecipe::smoothingRange.defaultValue),
            QStringLiteral("Low follows every pixel, high irons out noise and JPEG artefacts"),
            [](const AppModel& m) { return Smoothing::position(m.editSmoothness()); },
            writeSmoothing,
            Smoothing::text};
}

Row intensityRow()
{
    return {QStringLiteral("Intensity"),
            GradeRecipe::intensityRange.upper,
            GradeRecipe::intensityRange.defaultValue,
            QString(),
            [](const AppModel& m) { return m.intensity(); },
            [](AppModel& m, double v) { m.setIntensity(v); },
            nullptr};
}

std::vector<Row> rowsFor(Mode mode)
{
    std::vector<Row> rows;
    switch (mode) {
    case Mode::look:
        for (const auto& strength : GradeRecipe::lookStrengths())
            rows.push_back(
                strengthRow(strength, &AppModel::lookSettings, &AppModel::setLookSettings));
        break;
    case Mode::match:
        for (const auto& strength : GradeRecipe::matchStrengths())
            rows.push_back(
                strengthRow(strength, &AppModel::matchSettings, &AppModel::setMatchSettings));
        break;
    case Mode::edit: rows = {smoothingRow()}; break;
    case Mode::hald: break;
    }
    rows.push_back(intensityRow());
    return rows;
}

}  // namespace

namespace Smoothing {

double position(double smoothness)
{
    return std::log(smoothness / minimumSmoothness) / std::log(smoothnessSpan);
}

double smoothness(double position)
{
    return minimumSmoothness * std::pow(smoothnessSpan, position);
}

QString text(double position)
{
    if (position < fineBelow)
        return QStringLiteral("Fine");
    if (position < balancedBelow)
        return QStringLiteral("Balanced");
    return QStringLiteral("Smooth");
}

}  // namespace Smoothing

ModeControls::ModeControls(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), builtFor_(model.mode())
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(sliderSpacing);
    rebuild();
    connect(&model_, &AppModel::modeChanged, this, [this] {
        if (model_.mode() != builtFor_)
            rebuild();
    });
    for (auto changed : {&AppModel::lookSettingsChanged, &AppModel::matchSettingsChanged,
                         &AppModel::editSmoothnessChanged, &AppModel::extendEditChanged,
                         &AppModel::intensityChanged})
        connect(&model_, changed, this, &ModeControls::refresh);
}

ValueSlider* ModeControls::slider(const QString& title) const
{
    for (ValueSlider* slider : sliders_)
        if (slider->title() == title)
            return slider;
    return nullptr;
}

void ModeControls::rebuild()
{
    for (ValueSlider* slider : sliders_)
        delete slider;
    sliders_.clear();
    delete extendSwitch_;
    extendSwitch_ = nullptr;
    builtFor_ = model_.mode();
    for (const Row& row : rowsFor(builtFor_)) {
        auto* slider = new ValueSlider(row.title, 0.0, row.upper, row.defaultValue, this);
        if (!row.help.isEmpty())
            slider->setHelp(row.help);
        if (row.format)
            slider->setFormat(row.format);
        slider->setValue(row.read(model_));
        const auto write = row.write;
        connect(slider, &ValueSlider::valueEdited, this,
                [this, write](double value) { write(model_, value); });
        layout()->addWidget(slider);
        sliders_.push_back(slider);
    }
    if (builtFor_ == Mode::edit) {
        extendSwitch_ = new QCheckBox(QStringLiteral("Extend to colours not in the photos"), this);
        extendSwitch_->setToolTip(
            QStringLiteral("Colours the photos do not contain follow the overall edit instead of "
                           "keeping their values"));
        extendSwitch_->setChecked(model_.extendEdit());
        connect(extendSwitch_, &QCheckBox::toggled, this,
                [this](bool on) { model_.setExtendEdit(on); });
        layout()->addWidget(extendSwitch_);
    }
}

void ModeControls::refresh()
{
    const std::vector<Row> rows = rowsFor(builtFor_);
    for (std::size_t i = 0; i < sliders_.size(); ++i)
        sliders_[i]->setValue(rows[i].read(model_));
    if (extendSwitch_)
        extendSwitch_->setChecked(model_.extendEdit());
}

}  // namespace lumivert
