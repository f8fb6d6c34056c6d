#include "ExportPanel.hpp"

#include "AppModel.hpp"
#include "Presentation.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

#include "lut/LUTFormat.hpp"
#include "recipe/ExportPlan.hpp"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
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

// How to use the file in the applications photographers use, one disclosure each: the title
// and the two or three steps.
struct HelpNote {
    const char* title;
    const char* text;
};
const std::array<HelpNote, 6> helpTexts{{
    {"Using it in Photoshop",
     "Layer \u203a New Adjustment Layer \u203a Color Lookup. In the Properties panel choose "
     "3DLUT File \u203a Load 3D LUT\u2026 and pick the .cube or .3dl file. Lower the layer\u2019s "
     "opacity to weaken the look."},
    {"Using it in darktable",
     "In preferences \u203a processing, set the \u201c3D lut root folder\u201d and copy the "
     ".cube, .3dl or HALD .png file into it. In the darkroom, open the \u201clut 3D\u201d module "
     "and pick the file."},
    {"Using it in GIMP with G\u2019MIC",
     "Open Filters \u203a G\u2019MIC-Qt and choose Colors \u203a Apply External CLUT. Pick the "
     ".cube or HALD .png file and apply."},
    {"Using it in RawTherapee",
     "RawTherapee\u2019s Film Simulation reads HALD images: export HALD .png and copy it into "
     "the folder set in Preferences \u203a Image Processing \u203a Film Simulation. Pick it in "
     "the Color tab\u2019s Film Simulation tool."},
    {"Using it with ffmpeg",
     "ffmpeg -i in.mp4 -vf lut3d=Look.cube out.mp4 applies the LUT to a video. Its .3dl reader "
     "takes 17-point files only: choose the 17 grid for .3dl."},
    {"Using it in DaVinci Resolve on Linux",
     "Project Settings \u203a Color Management \u203a Open LUT Folder (usually /opt/resolve/LUT), "
     "copy the .cube file there and click Update Lists. Pick it from a node\u2019s LUT menu."},
}};
const QString haldGridReason = QStringLiteral(
    "A HALD image always holds a %1-point cube; the grid applies to .cube and .3dl files.");

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The heading of the formats beyond the panel's three, and its item's data (no choice has it).
constexpr const char* moreFormatsTitle = "More formats";
constexpr int moreFormatsItem = -1;

QString choiceTitle(ExportChoice choice)
{
    const std::span<const LUTFormat> formats = ExportPlan::formats(toPlan(choice));
    return formats.size() == 1 ? fromView(formats.front().title())
                               : QStringLiteral("All three formats");
}

// Where a choice's files work, for assistive technology reading the list.
QString choiceHelp(ExportChoice choice)
{
    const std::span<const LUTFormat> formats = ExportPlan::formats(toPlan(choice));
    return formats.size() == 1
               ? QStringLiteral("Works in ") + fromView(formats.front().compatibility())
               : QStringLiteral("Writes .cube, .3dl and HALD .png files");
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
    // Typing a name and pressing Enter exports it, as the button would.
    connect(name_, &QLineEdit::returnPressed, this, [this] {
        if (export_->isEnabled())
            model_.exportLUT();
    });
    name_->installEventFilter(this);

    format_->setAccessibleName(QStringLiteral("Format"));
    format_->setAccessibleDescription(QStringLiteral("Which files the export writes"));
    for (ExportChoice choice : ExportChoices::allCases()) {
        // The first other format opens its section under a heading that cannot be chosen.
        if (ExportPlan::isMoreFormat(toPlan(choice)) && format_->findData(moreFormatsItem) < 0) {
            format_->insertSeparator(format_->count());
            format_->addItem(QString::fromUtf8(moreFormatsTitle), moreFormatsItem);
            format_->setItemData(format_->count() - 1,
                                 QStringLiteral("The formats below are read by fewer editors."),
                                 Qt::AccessibleDescriptionRole);
            if (auto* items = qobject_cast<QStandardItemModel*>(format_->model()))
                items->item(format_->count() - 1)->setEnabled(false);
        }
        const QIcon icon = choice == ExportChoice::all
                               ? Symbols::icon(QStringLiteral("square.grid.3x3.square"))
                               : QIcon();
        format_->addItem(icon, choiceTitle(choice), static_cast<int>(choice));
        format_->setItemData(format_->count() - 1, choiceHelp(choice),
                             Qt::AccessibleDescriptionRole);
    }
    connect(format_, &QComboBox::activated, this, [this](int index) {
        const int choice = format_->itemData(index).toInt();
        if (choice == moreFormatsItem)
            showChoice();
        else
            model_.setExportChoice(static_cast<ExportChoice>(choice));
    });

    export_->setText(QStringLiteral("Export LUT\u2026"));
    export_->setAccessibleDescription(
        QStringLiteral("Saves the LUT in the chosen format (Ctrl+E)"));
    export_->setIcon(Symbols::icon(QStringLiteral("square.and.arrow.up")));
    export_->setMinimumHeight(exportButtonHeight);
    export_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    export_->setStyleSheet(Theme::prominentButtonStyle());
    connect(export_, &QPushButton::clicked, this, [this] { model_.exportLUT(); });

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(spacing);
    stack->addLayout(labelledRow(QStringLiteral("Name"), name_, false));
    stack->addWidget(format_);
    stack->addLayout(labelledRow(QStringLiteral("Grid"), makeGridPicker(), true));
    stack->addWidget(description_);
    stack->addWidget(export_);
    stack->addWidget(makeHelpNotes());

    showName();
    showChoice();
    showSize();
    connect(&model_, &AppModel::lutNameChanged, this, &ExportPanel::showName);
    connect(&model_, &AppModel::exportChoiceChanged, this, &ExportPanel::showChoice);
    connect(&model_, &AppModel::exportSizeChanged, this, &ExportPanel::showSize);
    showExportable();
    for (auto signal :
         {&AppModel::modeChanged, &AppModel::settingsChanged, &AppModel::lookAnalysisChanged,
          &AppModel::matchAnalysisChanged, &AppModel::editFitChanged, &AppModel::haldLUTChanged})
        connect(&model_, signal, this, &ExportPanel::showExportable);
}

// A line edit takes Ctrl+E for itself (end of line): the window's Export LUT shortcut wins.
bool ExportPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == name_ && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_E))
        return true;
    return QWidget::eventFilter(watched, event);
}

void ExportPanel::showExportable() { export_->setEnabled(model_.canExport()); }

QWidget* ExportPanel::makeGridPicker()
{
    auto* picker = new QWidget;
    gridPicker_ = picker;
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
        grid_->addButton(button, static_cast<int>(gridSizes[i]));
        row->addWidget(button);
        gridButtons_[i] = button;
    }
    grid_->setExclusive(true);
    connect(grid_, &QButtonGroup::idClicked, this,
            [this](int size) { model_.setExportSize(size); });
    return picker;
}

QWidget* ExportPanel::makeHelpNotes()
{
    auto* group = new QWidget;
    auto* stack = new QVBoxLayout(group);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    for (const HelpNote& help : helpTexts) {
        auto* toggle = new QToolButton;
        toggle->setText(Presentation::actionText(QString::fromUtf8(help.title)));
        toggle->setCheckable(true);
        toggle->setAccessibleDescription(QStringLiteral("Shows or hides the steps"));
        toggle->setAutoRaise(true);
        toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        toggle->setArrowType(Qt::RightArrow);
        toggle->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 2px 0; }"));
        QLabel* note = secondaryCaption(QString::fromUtf8(help.text));
        note->setTextInteractionFlags(Qt::TextSelectableByMouse);
        note->setVisible(false);
        connect(toggle, &QToolButton::toggled, this, [toggle, note](bool open) {
            toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
            note->setVisible(open);
        });
        stack->addWidget(toggle);
        stack->addWidget(note);
        helpToggles_.push_back(toggle);
        helpNotes_.push_back(note);
    }
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
    // A HALD image's cube size is fixed by its level: the grid does not apply, and says why.
    const bool gridApplies = model_.exportChoice() != ExportChoice::hald;
    gridPicker_->setEnabled(gridApplies);
    gridPicker_->setToolTip(gridApplies ? QString() : haldGridReason.arg(haldCubeSize));
    for (std::size_t i = 0; i < gridSizes.size(); ++i)
        gridButtons_[i]->setToolTip(gridApplies
                                        ? QStringLiteral("%1 points per axis").arg(gridSizes[i])
                                        : haldGridReason.arg(haldCubeSize));
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
