#include "ModeControls.hpp"

#include "AppModel.hpp"
#include "ValueSlider.hpp"

#include <QVBoxLayout>

#include <cmath>

namespace lumivert {

namespace {

constexpr double minimumSmoothness = 0.001;
constexpr double smoothnessSpan = 500;  // maximum / minimum smoothness
constexpr double fineBelow = 0.34;
constexpr double balancedBelow = 0.67;
constexpr double strengthUpper = 1.5;
constexpr int sliderSpacing = 10;

// One slider of the table: its texts, range and how it reads and writes the model.
struct Row {
    const char* title;
    double upper;
    double defaultValue;
    const char* help;  // empty: none
    double (*read)(const AppModel&);
    void (*write)(AppModel&, double);
    QString (*format)(double);  // null: percent
};

template <float LookSettings::*field> Row lookRow(const char* title, double def, const char* help)
{
    return {title,
            strengthUpper,
            def,
            help,
            [](const AppModel& m) { return static_cast<double>(m.lookSettings().*field); },
            [](AppModel& m, double v) {
                LookSettings settings = m.lookSettings();
                settings.*field = static_cast<float>(v);
                m.setLookSettings(settings);
            },
            nullptr};
}

template <float MatchSettings::*field> Row matchRow(const char* title, double def, const char* help)
{
    return {title,
            strengthUpper,
            def,
            help,
            [](const AppModel& m) { return static_cast<double>(m.matchSettings().*field); },
            [](AppModel& m, double v) {
                MatchSettings settings = m.matchSettings();
                settings.*field = static_cast<float>(v);
                m.setMatchSettings(settings);
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
    return {"Smoothing",
            1.0,
            Smoothing::position(0.02),
            "Low follows every pixel, high irons out noise and JPEG artefacts",
            [](const AppModel& m) { return Smoothing::position(m.editSmoothness()); },
            writeSmoothing,
            Smoothing::text};
}

Row intensityRow()
{
    return {"Intensity",
            strengthUpper,
            1.0,
            "",
            [](const AppModel& m) { return m.intensity(); },
            [](AppModel& m, double v) { m.setIntensity(v); },
            nullptr};
}

std::vector<Row> rowsFor(Mode mode)
{
    std::vector<Row> rows;
    switch (mode) {
    case Mode::look:
        rows = {lookRow<&LookSettings::tone>("Tone", 0.8,
                                             "Black lift, highlight roll-off and contrast"),
                lookRow<&LookSettings::colourCast>("Colour cast", 1.0,
                                                   "The tint in shadows, mid-tones and highlights"),
                lookRow<&LookSettings::saturation>("Colourfulness", 0.7,
                                                   "How muted or vivid the look is"),
                lookRow<&LookSettings::palette>(
                    "Palette", 0.4, "Pulls hues towards the photo\u2019s dominant colours")};
        break;
    case Mode::match:
        rows = {matchRow<&MatchSettings::tone>("Tone", 1.0, "Match brightness and contrast"),
                matchRow<&MatchSettings::colour>(
                    "Colour", 1.0, "Match colour balance and saturation per tonal range")};
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
                         &AppModel::editSmoothnessChanged, &AppModel::intensityChanged})
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
    builtFor_ = model_.mode();
    for (const Row& row : rowsFor(builtFor_)) {
        auto* slider =
            new ValueSlider(QString::fromUtf8(row.title), 0.0, row.upper, row.defaultValue, this);
        if (*row.help)
            slider->setHelp(QString::fromUtf8(row.help));
        if (row.format)
            slider->setFormat(row.format);
        slider->setValue(row.read(model_));
        const auto write = row.write;
        connect(slider, &ValueSlider::valueEdited, this,
                [this, write](double value) { write(model_, value); });
        layout()->addWidget(slider);
        sliders_.push_back(slider);
    }
}

void ModeControls::refresh()
{
    const std::vector<Row> rows = rowsFor(builtFor_);
    for (std::size_t i = 0; i < sliders_.size(); ++i)
        sliders_[i]->setValue(rows[i].read(model_));
}

}  // namespace lumivert
