#include "ModeControls.hpp"

#include "AppModel.hpp"
#include "ValueSlider.hpp"

#include "recipe/Adjustments.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

namespace lumivert {

namespace {

// The smoothing slider's ends are the recipe's range, spread logarithmically.
const double minimumSmoothness = GradeRecipe::smoothingRange.lower;
const double smoothnessSpan = GradeRecipe::smoothingRange.upper / minimumSmoothness;
constexpr double fineBelow = 0.34;
constexpr double balancedBelow = 0.67;
constexpr int sliderSpacing = 10;

QString text(std::string_view raw) { return QString::fromUtf8(raw.data(), raw.size()); }

// A slider's value for one value of an adjustment: the value, or its logarithmic position.
double sliderValue(const GradeRecipe::Adjustment& row, double value)
{
    return row.scale == GradeRecipe::AdjustmentScale::coarseness ? Smoothing::position(value)
                                                                 : value;
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
    connect(&model_, &AppModel::settingsChanged, this, &ModeControls::refresh);
    connect(&model_, &AppModel::showingLUTFileChanged, this, &ModeControls::rebuild);
}

QComboBox* ModeControls::menu(const QString& title) const
{
    for (const Menu& menu : menus_)
        if (menu.title->text() == title)
            return menu.box;
    return nullptr;
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
    bound_.clear();
    delete extendSwitch_;
    extendSwitch_ = nullptr;
    for (const Menu& menu : menus_) {
        delete menu.title;
        delete menu.box;
    }
    menus_.clear();
    builtFor_ = model_.mode();
    const GradeRecipe::Adjustment* toggle = nullptr;
    std::vector<const GradeRecipe::Adjustment*> choices;
    for (const GradeRecipe::Adjustment* row :
         GradeRecipe::adjustmentsOf(toRecipe(builtFor_), GradeRecipe::AdjustmentCard::mode)) {
        // An opened LUT file is shaped only by what every mode shares (the intensity).
        if (model_.showingLUTFile() && !(row->modes == GradeRecipe::ModeSet::all()))
            continue;
        if (row->kind == GradeRecipe::AdjustmentKind::toggle) {
            toggle = row;
            continue;
        }
        if (row->kind == GradeRecipe::AdjustmentKind::choice) {
            choices.push_back(row);
            continue;
        }
        for (const GradeRecipe::AdjustmentValue& value : row->values)
            addSlider(*row, value);
    }
    // A switch goes below the sliders.
    if (toggle) {
        const GradeRecipe::Choice& on = toggle->choices.back();
        extendSwitch_ = new QCheckBox(text(on.title), this);
        extendSwitch_->setToolTip(text(on.help));
        extendSwitch_->setChecked(toggle->chosen(model_.settings()) != 0);
        connect(extendSwitch_, &QCheckBox::toggled, this, [this, toggle](bool checked) {
            GradeRecipe::Settings settings = model_.settings();
            toggle->choose(settings, checked ? 1 : 0);
            model_.setSettings(settings);
        });
        layout()->addWidget(extendSwitch_);
        toggle_ = toggle;
    }
    for (const GradeRecipe::Adjustment* row : choices)
        addMenu(*row);
}

void ModeControls::addMenu(const GradeRecipe::Adjustment& row)
{
    auto* title = new QLabel(text(row.title), this);
    auto* box = new QComboBox(this);
    // Screen readers announce each item with its own help, or the row's where it has none.
    for (const GradeRecipe::Choice& choice : row.choices) {
        box->addItem(text(choice.title), text(choice.id));
        box->setItemData(box->count() - 1, text(choice.help.empty() ? row.help : choice.help),
                         Qt::AccessibleDescriptionRole);
    }
    box->setToolTip(text(row.help));
    box->setAccessibleName(text(row.title));
    box->setAccessibleDescription(text(row.help));
    box->setCurrentIndex(static_cast<int>(row.chosen(model_.settings())));
    title->setBuddy(box);
    connect(box, &QComboBox::activated, this, [this, &row](int index) {
        GradeRecipe::Settings settings = model_.settings();
        row.choose(settings, static_cast<std::size_t>(index));
        model_.setSettings(settings);
    });
    layout()->addWidget(title);
    layout()->addWidget(box);
    menus_.push_back({&row, title, box});
}

void ModeControls::addSlider(const GradeRecipe::Adjustment& row,
                             const GradeRecipe::AdjustmentValue& value)
{
    const bool coarseness = row.scale == GradeRecipe::AdjustmentScale::coarseness;
    auto* slider = new ValueSlider(text(value.title), coarseness ? 0.0 : row.range.lower,
                                   coarseness ? 1.0 : row.range.upper,
                                   sliderValue(row, value.defaultValue()), this);
    slider->setStep(row.step);
    if (!value.help.empty())
        slider->setHelp(text(value.help));
    if (coarseness)
        slider->setFormat(Smoothing::text);
    slider->setValue(sliderValue(row, value.of(model_.settings())));
    connect(slider, &ValueSlider::valueEdited, this, [this, &row, &value](double position) {
        GradeRecipe::Settings settings = model_.settings();
        const float stored = value.of(settings);
        if (row.scale == GradeRecipe::AdjustmentScale::coarseness) {
            // A position that maps to the stored value changes nothing, so it must not start a
            // re-fit; the second test covers positions read from a value the slider did not
            // set, whose round trip may differ in the last bit.
            const auto smoothness = static_cast<float>(Smoothing::smoothness(position));
            if (smoothness == stored || position == Smoothing::position(stored))
                return;
            value.field(settings) = smoothness;
        } else {
            value.field(settings) = static_cast<float>(position);
        }
        model_.setSettings(settings);
    });
    layout()->addWidget(slider);
    sliders_.push_back(slider);
    bound_.push_back({&row, &value});
}

void ModeControls::refresh()
{
    for (std::size_t i = 0; i < sliders_.size(); ++i)
        sliders_[i]->setValue(
            sliderValue(*bound_[i].adjustment, bound_[i].value->of(model_.settings())));
    if (extendSwitch_)
        extendSwitch_->setChecked(toggle_->chosen(model_.settings()) != 0);
    for (const Menu& menu : menus_)
        menu.box->setCurrentIndex(static_cast<int>(menu.adjustment->chosen(model_.settings())));
}

}  // namespace lumivert
