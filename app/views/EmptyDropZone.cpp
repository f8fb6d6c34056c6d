#include "EmptyDropZone.hpp"

#include "Presentation.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace lumivert {

namespace {
constexpr int padding = 48;
constexpr int spacing = 16;
constexpr int buttonSpacing = 10;
constexpr int widest = 640;
constexpr int descriptionWidth = 440;
constexpr int symbolSize = 46;
constexpr double cornerRadius = 28;
constexpr double dashLength = 10;
constexpr double targetedScale = 1.015;
constexpr double targetedStroke = 2.5;
constexpr double restingStroke = 1.5;
constexpr double restingOpacity = 0.35;
constexpr int scaleDurationMs = 200;
}  // namespace

EmptyDropZone::EmptyDropZone(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), symbol_(new QLabel(this)), title_(new QLabel(this)),
      description_(new QLabel(this)),
      choose_(new QPushButton(QStringLiteral("Choose Image…"), this)),
      saveTemplate_(new QPushButton(QStringLiteral("Save Identity HALD…"), this))
{
    setMaximumWidth(widest);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    symbol_->setAlignment(Qt::AlignCenter);
    title_->setAlignment(Qt::AlignCenter);
    title_->setWordWrap(true);
    title_->setFont(Theme::font(Theme::TextStyle::title2, QFont::DemiBold));
    description_->setAlignment(Qt::AlignCenter);
    description_->setWordWrap(true);
    description_->setFont(Theme::font(Theme::TextStyle::callout));
    QPalette secondary = description_->palette();
    secondary.setColor(QPalette::WindowText, Theme::secondary());
    description_->setPalette(secondary);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(buttonSpacing);
    buttons->addStretch();
    buttons->addWidget(choose_);
    buttons->addWidget(saveTemplate_);
    buttons->addStretch();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);
    column->addWidget(symbol_);
    column->addWidget(title_);
    column->addWidget(description_, 0, Qt::AlignHCenter);
    column->addSpacing(buttonSpacing);
    column->addLayout(buttons);

    connect(choose_, &QPushButton::clicked, this,
            [this] { model_.chooseImage(model_.dropTargetSlot()); });
    connect(saveTemplate_, &QPushButton::clicked, this, [this] { model_.saveIdentityHALD(); });
    connect(&model_, &AppModel::modeChanged, this, &EmptyDropZone::showMode);

    scaleAnimation_.setDuration(scaleDurationMs);
    scaleAnimation_.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&scaleAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        scale_ = v.toDouble();
        update();
    });
    showMode();
}

QSize EmptyDropZone::sizeHint() const
{
    // As wide as allowed; the pane's layout narrows it when the column is narrower.
    return {widest, heightForWidth(widest)};
}

void EmptyDropZone::resizeEvent(QResizeEvent* event)
{
    description_->setFixedWidth(std::max(0, std::min(descriptionWidth, width() - 2 * padding)));
    QWidget::resizeEvent(event);
}

QString EmptyDropZone::title() const { return title_->text(); }

QString EmptyDropZone::description() const { return description_->text(); }

void EmptyDropZone::setTargeted(bool targeted)
{
    if (targeted == targeted_)
        return;
    targeted_ = targeted;
    scaleAnimation_.stop();
    scaleAnimation_.setStartValue(scale_);
    scaleAnimation_.setEndValue(targeted ? targetedScale : 1.0);
    scaleAnimation_.start();
    update();
}

void EmptyDropZone::showMode()
{
    const Mode mode = model_.mode();
    symbol_->setPixmap(
        Symbols::icon(Presentation::modeSymbol(mode)).pixmap(symbolSize, symbolSize));
    title_->setText(Presentation::emptyTitle(mode));
    description_->setText(Presentation::emptyDescription(mode));
    saveTemplate_->setVisible(GradeRecipe::recipe(toRecipe(mode)).offersTemplate);
}

void EmptyDropZone::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double stroke = targeted_ ? targetedStroke : restingStroke;
    QPen pen(targeted_ ? Theme::accent() : Theme::secondary(restingOpacity), stroke);
    // Qt's dash pattern is in stroke widths; the outline's dash is in points.
    pen.setDashPattern({dashLength / stroke, dashLength / stroke});
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // The outline grows about its centre; the inset keeps the grown stroke inside the widget.
    const QRectF bounds = QRectF(rect()).adjusted(stroke, stroke, -stroke, -stroke);
    const double inset = (targetedScale - 1) * bounds.width() / 2 + stroke;
    const QRectF rest = bounds.adjusted(inset, inset, -inset, -inset);
    const QPointF centre = rest.center();
    const QRectF outline(centre.x() - rest.width() * scale_ / 2,
                         centre.y() - rest.height() * scale_ / 2, rest.width() * scale_,
                         rest.height() * scale_);
    painter.drawRoundedRect(outline, cornerRadius, cornerRadius);
}

}  // namespace lumivert
