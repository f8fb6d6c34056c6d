#include "ContentView.hpp"

#include "AppModel.hpp"
#include "FocusRing.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"
#include "WindowPlacement.hpp"

#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVariantAnimation>

namespace lumivert {

namespace {

constexpr int startUpPauseMs = 150;
constexpr int inspectorAnimationMs = 300;

QString exportButtonStyle()
{
    const QColor accent = Theme::accent();
    return QStringLiteral("QToolButton { background: %1; color: white; border-radius: 6px; "
                          "padding: 4px 10px; font-weight: 600; }"
                          "QToolButton:hover { background: %2; }"
                          "QToolButton:pressed { background: %3; }")
        .arg(accent.name(), accent.lighter(112).name(), accent.darker(115).name());
}

}  // namespace

ContentView::ContentView(AppModel& model, Columns columns, QWidget* parent)
    : QMainWindow(parent), model_(model), columns_(columns)
{
    setObjectName(QStringLiteral("main"));
    setMinimumSize(minimumWindowSize);
    resize(defaultWindowSize);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setChildrenCollapsible(false);
    splitter_->setHandleWidth(1);
    columns_.sidebar->setMinimumWidth(sidebarMinimum);
    columns_.sidebar->setMaximumWidth(sidebarMaximum);
    columns_.inspector->setMinimumWidth(inspectorMinimum);
    columns_.inspector->setMaximumWidth(inspectorMaximum);
    splitter_->addWidget(columns_.sidebar);
    splitter_->addWidget(columns_.preview);
    splitter_->addWidget(columns_.inspector);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setStretchFactor(2, 0);
    splitter_->setSizes(
        {sidebarIdeal, defaultWindowSize.width() - sidebarIdeal - inspectorIdeal, inspectorIdeal});
    setCentralWidget(splitter_);
    focusRing_ = new FocusRing(*this);

    inspectorAnimation_ = new QVariantAnimation(this);
    inspectorAnimation_->setDuration(inspectorAnimationMs);
    inspectorAnimation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(inspectorAnimation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) {
                const int width = value.toInt();
                columns_.inspector->setMinimumWidth(std::min(width, inspectorMinimum));
                columns_.inspector->setMaximumWidth(width);
            });
    connect(inspectorAnimation_, &QVariantAnimation::finished, this, [this] {
        if (!showInspector_) {
            columns_.inspector->hide();
        } else {
            columns_.inspector->setMinimumWidth(inspectorMinimum);
            columns_.inspector->setMaximumWidth(inspectorMaximum);
        }
    });

    buildToolbar();
    connect(&model_, &AppModel::modeChanged, this, &ContentView::updateTitle);
    connect(&model_, &AppModel::alertChanged, this, &ContentView::updateAlert);
    updateTitle();
    updateAlert();
}

void ContentView::buildToolbar()
{
    QToolBar* toolbar = addToolBar(QStringLiteral("Toolbar"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->toggleViewAction()->setVisible(false);
    toolbar->setIconSize(QSize(18, 18));
    // The actions sit at the trailing end, where the window's primary actions belong.
    auto* spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);

    exportButton_ = new QToolButton(toolbar);
    exportButton_->setText(QStringLiteral("Export LUT"));
    exportButton_->setIcon(Symbols::icon(QStringLiteral("square.and.arrow.up")));
    exportButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    exportButton_->setToolTip(QStringLiteral("Export the LUT (Ctrl+E)"));
    exportButton_->setStyleSheet(exportButtonStyle());
    connect(exportButton_, &QToolButton::clicked, &model_, [this] { model_.exportLUT(); });
    toolbar->addWidget(exportButton_);

    adjustmentsButton_ = new QToolButton(toolbar);
    adjustmentsButton_->setText(QStringLiteral("Adjustments"));
    adjustmentsButton_->setIcon(Symbols::icon(QStringLiteral("slider.horizontal.3")));
    adjustmentsButton_->setToolTip(QStringLiteral("Show or hide the adjustments"));
    adjustmentsButton_->setCheckable(true);
    adjustmentsButton_->setChecked(true);
    connect(adjustmentsButton_, &QToolButton::clicked, this,
            [this] { setInspectorShown(!showInspector_); });
    toolbar->addWidget(adjustmentsButton_);
}

void ContentView::setInspectorShown(bool shown)
{
    if (shown == showInspector_)
        return;
    showInspector_ = shown;
    adjustmentsButton_->setChecked(shown);
    inspectorAnimation_->stop();
    if (shown) {
        columns_.inspector->setMinimumWidth(0);
        columns_.inspector->setMaximumWidth(0);
        columns_.inspector->show();
        inspectorAnimation_->setStartValue(0);
        inspectorAnimation_->setEndValue(inspectorWidth_);
    } else {
        inspectorWidth_ =
            std::clamp(columns_.inspector->width(), inspectorMinimum, inspectorMaximum);
        inspectorAnimation_->setStartValue(columns_.inspector->width());
        inspectorAnimation_->setEndValue(0);
    }
    inspectorAnimation_->start();
}

void ContentView::updateTitle()
{
    setWindowTitle(QStringLiteral("Lumivert — ") + Modes::title(model_.mode()));
}

void ContentView::updateAlert()
{
    const std::optional<AlertInfo>& alert = model_.alert();
    if (!alert) {
        if (alertBox_)
            alertBox_->close();
        return;
    }
    if (!alertBox_) {
        alertBox_ = new QMessageBox(this);
        alertBox_->setIcon(QMessageBox::Warning);
        alertBox_->setStandardButtons(QMessageBox::Ok);
        alertBox_->setWindowModality(Qt::WindowModal);
        alertBox_->setAttribute(Qt::WA_DeleteOnClose);
        connect(alertBox_, &QMessageBox::finished, this, [this] {
            // A newer alert may have replaced the one on screen: dismissing clears only that.
            const QUuid shown = alertBox_ ? alertBox_->property("alertId").toUuid() : QUuid();
            if (model_.alert() && model_.alert()->id == shown)
                model_.setAlert(std::nullopt);
        });
    }
    alertBox_->setProperty("alertId", alert->id);
    alertBox_->setWindowTitle(alert->title);
    alertBox_->setText(alert->title);
    alertBox_->setInformativeText(alert->message);
    alertBox_->open();
}

void ContentView::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (appeared_)
        return;
    appeared_ = true;
    QTimer::singleShot(startUpPauseMs, this, &ContentView::startUp);
    Q_EMIT appeared();
}

void ContentView::startUp()
{
    // No text field starts focused, so typing a shortcut never lands in the name field.
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    if (model_.capturing())
        WindowPlacement::placeForCapture(*this, qEnvironmentVariable("LUMIVERT_WINDOW"));
}

}  // namespace lumivert
