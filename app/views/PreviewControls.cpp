#include "PreviewControls.hpp"

#include "Presentation.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

#include <QActionGroup>
#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <algorithm>
#include <array>
#include <cmath>

namespace lumivert {

namespace {

constexpr int controlSpacing = 12;
constexpr int rowSpacing = 6;
// Where the compare switch and picker sit in the first row: after the sources and the stretch.
constexpr int compareIndex = 2;
const QString compareWithAfterTip = QStringLiteral(
    "Show your real edit on the left instead of the original, to judge how closely the LUT "
    "reproduces it");
const QString zoomToggleText = QStringLiteral("1:1");
// The readout keeps this width, so that the row does not shift as the zoom changes.
const QString widestZoom = QStringLiteral("1600 %");
const QMargins headerMargins(12, 6, 12, 4);
// The zoom menu's fixed zooms, as percentages.
constexpr std::array<int, 6> menuZooms{25, 50, 100, 200, 400, 800};
const QString zoomReadoutTip =
    QStringLiteral("Zoom: the preview's scale, one photo pixel per screen pixel at 100 %. Click "
                   "for fit and fixed zooms");
const QString zoomToggleTip = QStringLiteral(
    "Actual size: one photo pixel per screen pixel (Ctrl+Alt+0; Ctrl+0 fits the photo again). "
    "Ctrl+scroll zooms about the pointer, Ctrl+plus and Ctrl+minus step. Zoomed in, drag or "
    "scroll to move around; the split line keeps its own drag.");
const QString interpolationTip = QStringLiteral(
    "Preview interpolation: how the preview blends the LUT's points. Choose the one your grading "
    "application uses; exported files are the same either way");

// A row of adjoining checkable buttons that reads as one segmented control.
QWidget* segmentedRow(const QString& name, QHBoxLayout*& row, QWidget* parent)
{
    auto* picker = new QWidget(parent);
    picker->setAccessibleName(name);
    picker->setToolTip(name);
    // Never narrower than its segments: a row short of room moves controls, it cuts none.
    picker->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    row = new QHBoxLayout(picker);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    return picker;
}

QToolButton* segment(QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setCheckable(true);
    button->setAutoRaise(false);
    button->setFocusPolicy(Qt::TabFocus);
    // A narrow row moves whole controls to a second row rather than squeezing these.
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

}  // namespace

PreviewControls::PreviewControls(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), sourcePicker_(nullptr), sourceRow_(nullptr),
      sources_(new QButtonGroup(this)), comparePicker_(nullptr), styles_(new QButtonGroup(this)),
      compareWithAfter_(new QCheckBox(QStringLiteral("Compare with your edit"), this)),
      zoomToggle_(segment(this)), zoomReadout_(new QToolButton(this)),
      menuButton_(new QToolButton(this)), interpolations_(new QActionGroup(this))
{
    sourcePicker_ = segmentedRow(QStringLiteral("Preview on"), sourceRow_, this);
    QHBoxLayout* styleRow = nullptr;
    comparePicker_ = segmentedRow(QStringLiteral("Compare"), styleRow, this);
    for (CompareStyle style : CompareStyles::allCases()) {
        QToolButton* button = segment(comparePicker_);
        button->setIcon(Symbols::icon(Presentation::compareStyleSymbol(style)));
        button->setToolTip(Presentation::compareStyleLabel(style));
        button->setAccessibleName(Presentation::compareStyleLabel(style));
        button->setAccessibleDescription(Presentation::compareStyleHelp(style));
        button->setStyleSheet(
            Theme::segmentStyle(static_cast<std::size_t>(style), CompareStyles::allCases().size()));
        styles_->addButton(button, static_cast<int>(style));
        styleRow->addWidget(button);
    }
    compareWithAfter_->setToolTip(compareWithAfterTip);
    // The box sits on the preview backdrop, which is as dark as the palette's text field colour.
    QPalette boxPalette = compareWithAfter_->palette();
    boxPalette.setColor(QPalette::Base,
                        Theme::isDark() ? QColor::fromRgbF(0.32, 0.32, 0.32) : QColor(Qt::white));
    compareWithAfter_->setPalette(boxPalette);

    auto* menu = new QMenu(menuButton_);
    // A label rather than a section: a menu sizes itself to its items, which cut a longer
    // section title short; a label's size counts.
    interpolationHeader_ = new QLabel(QStringLiteral("Preview interpolation"), menu);
    interpolationHeader_->setFont(Theme::font(Theme::TextStyle::caption, QFont::DemiBold));
    interpolationHeader_->setContentsMargins(headerMargins);
    auto* header = new QWidgetAction(menu);
    header->setDefaultWidget(interpolationHeader_);
    header->setEnabled(false);
    menu->addAction(header);
    for (const InterpolationName& row : interpolationNames) {
        QAction* action = menu->addAction(
            QString::fromUtf8(row.title.data(), static_cast<qsizetype>(row.title.size())));
        action->setCheckable(true);
        action->setData(static_cast<int>(row.interpolation));
        interpolations_->addAction(action);
    }
    menuButton_->setMenu(menu);
    menuButton_->setPopupMode(QToolButton::InstantPopup);
    menuButton_->setText(QStringLiteral("…"));
    menuButton_->setToolTip(interpolationTip);
    menuButton_->setAccessibleName(QStringLiteral("Preview interpolation"));

    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(rowSpacing);
    firstRow_ = new QHBoxLayout;
    secondRow_ = new QHBoxLayout;
    for (QHBoxLayout* line : {firstRow_, secondRow_}) {
        line->setSpacing(controlSpacing);
        rows->addLayout(line);
    }
    QHBoxLayout* row = firstRow_;
    row->addWidget(sourcePicker_);
    row->addStretch();
    row->addWidget(compareWithAfter_);
    row->addWidget(comparePicker_);
    secondRow_->addStretch();
    zoomToggle_->setText(zoomToggleText);
    zoomToggle_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    zoomToggle_->setToolTip(zoomToggleTip);
    zoomToggle_->setAccessibleName(QStringLiteral("Actual size"));
    zoomToggle_->setStyleSheet(Theme::segmentStyle(0, 1));
    buildZoomMenu();
    row->addWidget(zoomReadout_);
    row->addWidget(zoomToggle_);
    row->addWidget(menuButton_);

    connect(sources_, &QButtonGroup::idClicked, this, [this](int index) {
        if (index >= 0 && static_cast<std::size_t>(index) < shownSources_.size())
            model_.setPreviewSource(shownSources_[static_cast<std::size_t>(index)]);
    });
    connect(styles_, &QButtonGroup::idClicked, this,
            [this](int id) { model_.setCompareStyle(static_cast<CompareStyle>(id)); });
    connect(compareWithAfter_, &QCheckBox::toggled, this,
            [this](bool on) { model_.setCompareWithAfter(on); });
    connect(interpolations_, &QActionGroup::triggered, this, [this](QAction* action) {
        model_.setPreviewInterpolation(static_cast<Interpolation>(action->data().toInt()));
    });
    connect(&model_, &AppModel::previewInterpolationChanged, this,
            &PreviewControls::showInterpolation);

    // The sources on offer follow the mode and whether a preview photo is loaded.
    connect(&model_, &AppModel::modeChanged, this, &PreviewControls::rebuildSources);
    connect(&model_, &AppModel::imagesChanged, this, &PreviewControls::rebuildSources);
    connect(&model_, &AppModel::previewSourceChanged, this, &PreviewControls::showSource);
    connect(&model_, &AppModel::compareStyleChanged, this, &PreviewControls::showCompareStyle);
    for (auto signal : {&AppModel::modeChanged, &AppModel::imagesChanged,
                        &AppModel::previewSourceChanged, &AppModel::compareWithAfterChanged})
        connect(&model_, signal, this, &PreviewControls::showCompareWithAfter);

    rebuildSources();
    showCompareStyle();
    showCompareWithAfter();
    showInterpolation();
}

QList<QAbstractButton*> PreviewControls::sourceButtons() const
{
    QList<QAbstractButton*> buttons;
    for (std::size_t index = 0; index < shownSources_.size(); ++index)
        buttons << sources_->button(static_cast<int>(index));
    return buttons;
}

QAbstractButton* PreviewControls::zoomToggle() const { return zoomToggle_; }

void PreviewControls::buildZoomMenu()
{
    zoomReadout_->setFont(Theme::font(Theme::TextStyle::caption));
    zoomReadout_->setAccessibleName(QStringLiteral("Zoom"));
    zoomReadout_->setToolTip(zoomReadoutTip);
    zoomReadout_->setFocusPolicy(Qt::TabFocus);
    zoomReadout_->setPopupMode(QToolButton::InstantPopup);
    zoomReadout_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    zoomReadout_->setMinimumWidth(zoomReadout_->fontMetrics().horizontalAdvance(widestZoom) +
                                  zoomReadout_->fontMetrics().height());
    auto* menu = new QMenu(zoomReadout_);
    menu->addAction(QStringLiteral("Fit"), this, &PreviewControls::fitChosen);
    menu->addSeparator();
    for (int percent : menuZooms)
        menu->addAction(QStringLiteral("%1 %").arg(percent), this,
                        [this, percent] { Q_EMIT zoomChosen(percent / 100.0); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Zoom In"), this, &PreviewControls::zoomInChosen);
    menu->addAction(QStringLiteral("Zoom Out"), this, &PreviewControls::zoomOutChosen);
    zoomReadout_->setMenu(menu);
}

void PreviewControls::showZoom(double zoom, bool actualSize)
{
    const QString percent = QStringLiteral("%1 %").arg(std::lround(zoom * 100.0));
    zoomReadout_->setText(percent);
    zoomReadout_->setAccessibleDescription(
        QStringLiteral("Zoom %1; opens the zoom menu").arg(percent));
    zoomToggle_->setChecked(actualSize);
}

QList<QAbstractButton*> PreviewControls::compareButtons() const
{
    QList<QAbstractButton*> buttons;
    for (CompareStyle style : CompareStyles::allCases())
        buttons << styles_->button(static_cast<int>(style));
    return buttons;
}

void PreviewControls::rebuildSources()
{
    const std::vector<PreviewSource> available = model_.availablePreviewSources();
    if (available == shownSources_ && shownMode_ == model_.mode() &&
        !sources_->buttons().isEmpty()) {
        showSource();
        return;
    }
    // Later deletion: the rebuild may run inside one of these buttons' own click.
    for (QAbstractButton* button : sources_->buttons()) {
        sources_->removeButton(button);
        sourceRow_->removeWidget(button);
        button->hide();
        button->deleteLater();
    }
    shownSources_ = available;
    shownMode_ = model_.mode();
    for (std::size_t index = 0; index < available.size(); ++index) {
        QToolButton* button = segment(sourcePicker_);
        const QString label = Presentation::previewSourceLabel(available[index], shownMode_);
        button->setText(Presentation::actionText(label));
        button->setIcon(
            Symbols::icon(Presentation::previewSourceSymbol(available[index], shownMode_)));
        button->setToolTip(label);
        button->setAccessibleName(label);
        button->setStyleSheet(Theme::segmentStyle(index, available.size()));
        sources_->addButton(button, static_cast<int>(index));
        sourceRow_->addWidget(button);
        // Shown now rather than when the layout gets round to it: a hidden button has no width
        // to measure, and the row would seem to fit.
        button->show();
    }
    fitSources();
    showSource();
}

void PreviewControls::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitSources();
}

void PreviewControls::fitSources()
{
    // Style sheets size the segments: measured unpolished, they would seem to fit.
    ensurePolished();
    const auto showAs = [this](Qt::ToolButtonStyle style, bool twoRows) {
        for (QAbstractButton* button : sources_->buttons())
            static_cast<QToolButton*>(button)->setToolButtonStyle(style);
        if (twoRows != (secondRow_->indexOf(comparePicker_) >= 0)) {
            QHBoxLayout* from = twoRows ? firstRow_ : secondRow_;
            for (QWidget* widget : {static_cast<QWidget*>(compareWithAfter_), comparePicker_})
                from->removeWidget(widget);
            if (twoRows) {
                secondRow_->insertWidget(0, compareWithAfter_);
                secondRow_->addWidget(comparePicker_);
            } else {
                firstRow_->insertWidget(compareIndex, comparePicker_);
                firstRow_->insertWidget(compareIndex, compareWithAfter_);
            }
        }
        sourcePicker_->layout()->invalidate();
        layout()->invalidate();
        // Summed from the widgets: the rows' cached hints lag behind a change of style.
        const auto needed = [](std::initializer_list<QWidget*> widgets) {
            int total = 0, shown = 0;
            for (QWidget* widget : widgets)
                if (!widget->isHidden()) {
                    total += std::max(widget->sizeHint().width(), widget->minimumWidth());
                    ++shown;
                }
            return total + controlSpacing * std::max(0, shown - 1);
        };
        const int rest = needed({sourcePicker_, zoomReadout_, zoomToggle_, menuButton_});
        const int compare = needed({compareWithAfter_, comparePicker_});
        return twoRows ? std::max(rest, compare) <= width()
                       : rest + controlSpacing + compare <= width();
    };
    // Labels on one row where they fit, then icons, then the compare controls on a row below.
    if (showAs(Qt::ToolButtonTextOnly, false) || showAs(Qt::ToolButtonIconOnly, false) ||
        showAs(Qt::ToolButtonTextOnly, true))
        return;
    showAs(Qt::ToolButtonIconOnly, true);
}

bool PreviewControls::usesTwoRows() const { return secondRow_->indexOf(comparePicker_) >= 0; }

int PreviewControls::secondRowHeight() const
{
    return usesTwoRows() ? secondRow_->sizeHint().height() + rowSpacing : 0;
}

void PreviewControls::showSource()
{
    const auto found =
        std::find(shownSources_.begin(), shownSources_.end(), model_.previewSource());
    if (found == shownSources_.end()) {
        // A source the picker does not offer (none of its segments applies): show none checked.
        sources_->setExclusive(false);
        for (QAbstractButton* button : sources_->buttons())
            button->setChecked(false);
        sources_->setExclusive(true);
        return;
    }
    sources_->button(static_cast<int>(found - shownSources_.begin()))->setChecked(true);
}

void PreviewControls::showCompareStyle()
{
    styles_->button(static_cast<int>(model_.compareStyle()))->setChecked(true);
}

void PreviewControls::showCompareWithAfter()
{
    const GradeRecipe::ModeRecipe& mode = GradeRecipe::recipe(toRecipe(model_.mode()));
    const bool applies = mode.comparesWithTarget &&
                         model_.previewSource() == PreviewSource::input &&
                         model_.images().contains(fromRecipe(mode.slots.back()));
    compareWithAfter_->setVisible(applies);
    const QSignalBlocker quiet(compareWithAfter_);
    compareWithAfter_->setChecked(model_.compareWithAfter());
    fitSources();
}

void PreviewControls::showInterpolation()
{
    for (QAction* action : interpolations_->actions())
        action->setChecked(action->data().toInt() ==
                           static_cast<int>(model_.previewInterpolation()));
}

}  // namespace lumivert
