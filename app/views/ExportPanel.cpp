#include "ExportPanel.hpp"

#include "AppModel.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

#include "lut/LUTFormat.hpp"
#include "recipe/ExportPlan.hpp"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <span>

namespace lumivert {

namespace {

constexpr int spacing = 12;
constexpr int gridPickerWidth = 150;
constexpr int exportButtonHeight = 34;
constexpr qint64 haldCubeSize = 64;  // what a HALD level-8 image holds, whatever the setting

const char* const photoshopText =
    "Layer \u203a New Adjustment Layer \u203a Color Lookup. In the Properties panel choose "
    "3DLUT File \u203a Load 3D LUT\u2026 and pick the .cube or .3dl file. Lower the layer\u2019s "
    "opacity to weaken the look.";

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString choiceTitle(ExportChoice choice)
{
    const std::span<const LUTFormat> formats = ExportPlan::formats(toPlan(choice));
    return formats.size() == 1 ? fromView(formats.front().title())
                               : QStringLiteral("All three formats");
}

QLabel* secondaryCaption(const QString& text)
{
    auto* label = new QLabel(text);
    label->setFont(Theme::font(Theme::TextStyle::caption));
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Theme::secondary());
    label->setPalette(palette);
    return label;
}

QHBoxLayout* labelledRow(const QString& label, QWidget* control, bool stretch)
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(label);
    title->setBuddy(control);
    row->addWidget(title);
    if (stretch)
        row->addStretch(1);
    row->addWidget(control, stretch ? 0 : 1);
    return row;
}

}  // namespace

QString exportDescription(ExportChoice choice, qint64 size)
{
    const QString cube = choice == ExportChoice::hald
                             ? QStringLiteral("a %1-point cube").arg(haldCubeSize)
                             : QStringLiteral("a %1-point cube").arg(size);
    const std::span<const LUTFormat> formats = ExportPlan::formats(toPlan(choice));
    if (formats.size() == 1)
        return QStringLiteral("Works in ") + fromView(formats.front().compatibility()) +
               QStringLiteral(". Saves ") + cube + QLatin1Char('.');
    return QStringLiteral("Writes .cube, .3dl and HALD .png files (") + cube +
           QStringLiteral(" for .cube and .3dl).");
}

ExportPanel::ExportPanel(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), name_(new QLineEdit), format_(new QComboBox),
      grid_(new QButtonGroup(this)), description_(secondaryCaption(QString())),
      export_(new QPushButton)
{
    name_->setPlaceholderText(QStringLiteral("LUT name"));
    name_->setClearButtonEnabled(true);
    connect(name_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.setLutName(text); });

    format_->setAccessibleName(QStringLiteral("Format"));
    for (ExportChoice choice : ExportChoices::allCases()) {
        const QIcon icon = choice == ExportChoice::all
                               ? Symbols::icon(QStringLiteral("square.grid.3x3.square"))
                               : QIcon();
        format_->addItem(icon, choiceTitle(choice), static_cast<int>(choice));
    }
    connect(format_, &QComboBox::activated, this, [this](int index) {
        model_.setExportChoice(static_cast<ExportChoice>(format_->itemData(index).toInt()));
    });

    export_->setText(QStringLiteral("Export LUT\u2026"));
    export_->setIcon(Symbols::icon(QStringLiteral("square.and.arrow.up")));
    export_->setMinimumHeight(exportButtonHeight);
    export_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QPalette prominent = export_->palette();
    prominent.setColor(QPalette::Button, Theme::accent());
    prominent.setColor(QPalette::ButtonText, Qt::white);
    export_->setPalette(prominent);
    connect(export_, &QPushButton::clicked, this, [this] { model_.exportLUT(); });

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(spacing);
    stack->addLayout(labelledRow(QStringLiteral("Name"), name_, false));
    stack->addWidget(format_);
    stack->addLayout(labelledRow(QStringLiteral("Grid"), makeGridPicker(), true));
    stack->addWidget(description_);
    stack->addWidget(export_);
    stack->addWidget(makePhotoshopNote());

    showName();
    showChoice();
    showSize();
    connect(&model_, &AppModel::lutNameChanged, this, &ExportPanel::showName);
    connect(&model_, &AppModel::exportChoiceChanged, this, &ExportPanel::showChoice);
    connect(&model_, &AppModel::exportSizeChanged, this, &ExportPanel::showSize);
}

QWidget* ExportPanel::makeGridPicker()
{
    auto* picker = new QWidget;
    picker->setFixedWidth(gridPickerWidth);
    picker->setAccessibleName(QStringLiteral("Grid"));
    auto* row = new QHBoxLayout(picker);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (std::size_t i = 0; i < gridSizes.size(); ++i) {
        auto* button = new QToolButton;
        button->setText(QString::number(gridSizes[i]));
        button->setCheckable(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setStyleSheet(Theme::segmentStyle(i, gridSizes.size()));
        button->setToolTip(QStringLiteral("%1 points per axis").arg(gridSizes[i]));
        grid_->addButton(button, static_cast<int>(gridSizes[i]));
        row->addWidget(button);
        gridButtons_[i] = button;
    }
    grid_->setExclusive(true);
    connect(grid_, &QButtonGroup::idClicked, this,
            [this](int size) { model_.setExportSize(size); });
    return picker;
}

QWidget* ExportPanel::makePhotoshopNote()
{
    auto* group = new QWidget;
    auto* stack = new QVBoxLayout(group);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    photoshopToggle_ = new QToolButton;
    photoshopToggle_->setText(QStringLiteral("Using it in Photoshop"));
    photoshopToggle_->setCheckable(true);
    photoshopToggle_->setAutoRaise(true);
    photoshopToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    photoshopToggle_->setArrowType(Qt::RightArrow);
    photoshopToggle_->setStyleSheet(
        QStringLiteral("QToolButton { border: none; padding: 2px 0; }"));
    photoshopNote_ = secondaryCaption(QString::fromUtf8(photoshopText));
    photoshopNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    photoshopNote_->setVisible(false);
    connect(photoshopToggle_, &QToolButton::toggled, this, [this](bool open) {
        photoshopToggle_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        photoshopNote_->setVisible(open);
    });
    stack->addWidget(photoshopToggle_);
    stack->addWidget(photoshopNote_);
    return group;
}

// Only a different name is written back, so the model's echo of what the user typed leaves
// the cursor and the undo history alone.
void ExportPanel::showName()
{
    if (name_->text() != model_.lutName())
        name_->setText(model_.lutName());
}

void ExportPanel::showChoice()
{
    const int index = format_->findData(static_cast<int>(model_.exportChoice()));
    if (index != format_->currentIndex()) {
        const QSignalBlocker blocker(format_);
        format_->setCurrentIndex(index);
    }
    showDescription();
}

// A size outside the picker (from the automation mode) leaves every segment unchecked.
void ExportPanel::showSize()
{
    const auto found = std::find(gridSizes.begin(), gridSizes.end(), model_.exportSize());
    if (found != gridSizes.end()) {
        gridButtons_[static_cast<std::size_t>(found - gridSizes.begin())]->setChecked(true);
    } else {
        grid_->setExclusive(false);
        for (QToolButton* button : gridButtons_)
            button->setChecked(false);
        grid_->setExclusive(true);
    }
    showDescription();
}

void ExportPanel::showDescription()
{
    description_->setText(exportDescription(model_.exportChoice(), model_.exportSize()));
}

}  // namespace lumivert
